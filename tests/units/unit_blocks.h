// Property blocks for the units of the window tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testblocks {

// A unit's property block with this caption: the real types' own block, the
// stand-ins' for theirs. A default button when isDefault; an edit box is
// multi-line, so that it keeps Enter.
std::vector<uint8_t> CaptionBlock(uint32_t type, const std::string& caption,
                                  bool isDefault = false);

} // namespace testblocks
