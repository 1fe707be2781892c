// The decoder's kernels built with AVX (64-bit x86 outside Windows; chosen at
// start-up where the processor and system have it).
#include "simd.h"
#ifdef MP3_HAVE_AVX_KERNELS
#define MP3_KERNEL avx
#include "imdct_kernel.inc"
#include "synthesis_kernel.inc"
#include "stages_kernel.inc"
#include "layer3_kernel.inc"
#endif
