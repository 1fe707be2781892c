// The start-up record of a test program, written once with its fields named:
// a test program says only what is its own (code base, window templates,
// unit libraries, external functions); the build number and the constant
// segment are the same for all of them.
//
//   extern "C" const st::ProgramHeader ProgramHeaderRecord =
//       testing::ProgramHeaderOf({.codeBase = &__ImageBase, .windows = &kSegment,
//                                 .libraries = kLibraries});
//
// The record is filled in at static initialisation (the constant segment's
// length and the template bytes exist only then), before the runtime reads it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "st/services.h"

namespace testing {

struct ProgramParts {
    const void* codeBase = nullptr;                // handler offsets count from here
    const std::vector<uint8_t>* windows = nullptr; // the template segment; none = no windows
    std::span<const st::LibraryRecord* const> libraries;
    int32_t externalCount = 0;
    const char* const* externalLibraries = nullptr;
    const char* const* externalExports = nullptr;
};

inline st::ProgramHeader ProgramHeaderOf(const ProgramParts& parts) {
    return {
        .build = {3, 0, 65891},
        .codeBase = parts.codeBase,
        .constantStart = st::ConstantSegmentBegin,
        .constantLength = st::ConstantSegmentLength(),
        .templateStart = parts.windows ? parts.windows->data() : nullptr,
        .templateLength = parts.windows ? static_cast<uint32_t>(parts.windows->size()) : 0,
        .libraryCount = static_cast<int32_t>(parts.libraries.size()),
        .libraries = parts.libraries.data(),
        .externalCount = parts.externalCount,
        .externalLibraries = parts.externalLibraries,
        .externalExports = parts.externalExports,
    };
}

} // namespace testing
