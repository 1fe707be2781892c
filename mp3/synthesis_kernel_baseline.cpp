// The synthesis kernels for the target's baseline instruction set.
#define MP3_KERNEL baseline
#include "synthesis_kernel.inc"
