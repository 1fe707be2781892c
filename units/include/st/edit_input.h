// The edit box's input modes as plain text rules: which typed characters a
// mode lets through, how the content is normalised when the focus leaves,
// the date-time reader of mode 11 and the up-down step. No Windows here, so
// the rules build and are checked on the host as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "st/text_core.h"

namespace st::edit {

namespace InputMode {
inline constexpr int32_t Normal = 0, ReadOnly = 1, Password = 2, IntegerText = 3, DecimalText = 4,
                         Byte = 5, Short = 6, Integer = 7, Long = 8, Float = 9, Double = 10,
                         DateTime = 11;
inline constexpr int32_t Last = DateTime;
} // namespace InputMode

// Whether a typed character reaches the control in this mode. Control
// characters (below 32) always do; the numeric modes take only their digits,
// signs and points.
bool AcceptsChar(int32_t mode, uint32_t character);

// The content as the mode wants it once the focus leaves; nullopt when the
// mode leaves the text alone. Modes 5-10 give an empty text for zero.
std::optional<std::string> Normalise(int32_t mode, std::string_view text);

// Leading white space, an optional sign and decimal digits; what does not fit
// in [low, high] saturates there, no digits gives 0.
int64_t ReadClampedInteger(std::string_view text, int64_t low, int64_t high);

// Mode 11's reading of an already half-width text; nullopt when it does not
// match or a field is out of its range.
std::optional<text::CalendarFields> ReadDateTime(std::string_view text);

// One up-down arrow step (delta +1 up, -1 down) from the content's number
// within [low, high] (low <= high): a result outside wraps to the other end.
int32_t StepWrapped(std::string_view content, int32_t delta, int32_t low, int32_t high);

} // namespace st::edit
