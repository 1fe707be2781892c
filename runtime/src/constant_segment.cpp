// The two ends of the constant segment. ST_CONSTANT data goes to .rdata$stc_m;
// the linker orders the .rdata$ groups by name, so it lies between these.
#include "st/services.h"

namespace st {
extern "C" __attribute__((section(".rdata$stc_a"), used)) const char ConstantSegmentBegin[1] = {0};
extern "C" __attribute__((section(".rdata$stc_z"), used)) const char ConstantSegmentEnd[1] = {0};
} // namespace st
