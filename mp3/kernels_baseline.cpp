// The decoder's kernels for the target's baseline instruction set.
#define MP3_KERNEL baseline
#include "imdct_kernel.inc"
#include "synthesis_kernel.inc"
