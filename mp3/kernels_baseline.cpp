// The decoder's kernels for the target's baseline instruction set, one lane at a time.
#define MP3_LANES_SCALAR 1
#define MP3_KERNEL baseline
#include "imdct_kernel.inc"
#include "synthesis_kernel.inc"
#include "stages_kernel.inc"
#include "layer3_kernel.inc"
