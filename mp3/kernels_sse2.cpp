// The decoder's kernels built with SSE2 (the build adds -msse2 -mfpmath=sse on
// 32-bit x86; 64-bit x86 has them anyway).
#include "simd.h"
#ifdef MP3_HAVE_SSE2_KERNELS
#define MP3_KERNEL sse2
#include "imdct_kernel.inc"
#include "synthesis_kernel.inc"
#include "stages_kernel.inc"
#include "layer3_kernel.inc"
#endif
