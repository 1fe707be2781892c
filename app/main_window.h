// The tool's one window: its units, their ids and its stored template.
#pragma once

#include <cstdint>
#include <vector>

#include "st/template_builder.h"

namespace app {

inline constexpr uint32_t kMainWindow = 0x52010001;

// The units of the main window, in the order of its stored unit list.
namespace unit {
inline constexpr uint32_t Window = 0x06010000;           // the window itself, unit 0
inline constexpr uint32_t Link = 0x16010163;             // 超级链接框1
inline constexpr uint32_t SaveDialog = 0x1601015F;       // 通用对话框1
inline constexpr uint32_t AutoSave = 0x1601015B;         // 选择框1
inline constexpr uint32_t SaveAsButton = 0x1601015A;     // 按钮3
inline constexpr uint32_t PlayButton = 0x1601013D;       // 按钮2
inline constexpr uint32_t SynthesizeButton = 0x1601013C; // 按钮1
inline constexpr uint32_t TextBox = 0x1601013B;          // 编辑框1
} // namespace unit

// Property indexes the handlers use.
namespace property {
inline constexpr int32_t Disabled = 6;
inline constexpr int32_t TextBoxContent = 8;
inline constexpr int32_t DialogFileName = 10;
} // namespace property

// Data type ids of the core library's unit types.
namespace type {
inline constexpr uint32_t Window = 0x00010001;
inline constexpr uint32_t EditBox = 0x00010005;
inline constexpr uint32_t Button = 0x0001000B;
inline constexpr uint32_t CheckBox = 0x0001000C;
inline constexpr uint32_t Hyperlink = 0x0001001D;
inline constexpr uint32_t CommonDialog = 0x0001001F;
} // namespace type

st::WindowDescription MainWindowDescription();

// The program's template segment: the main window and nothing else.
const std::vector<uint8_t>& MainWindowSegment();

} // namespace app
