// The window templates of the registry tests, written with the template
// builder, and the handlers they bind. Handlers append to trace. Windows B
// and E are made of the program's own unit types; A and Broken of the
// stand-ins that show the tests what the loader does to a unit type.
#pragma once

#include <string>
#include <vector>

#include "st/services.h"
#include "st/template_builder.h"

namespace testwindows {

inline constexpr uint32_t A = 0x52010001;      // the window most tests load
inline constexpr uint32_t B = 0x52010002;      // the real window and button types
inline constexpr uint32_t Broken = 0x52010004; // a unit cannot be created
inline constexpr uint32_t E = 0x52010005;      // a second window, real window and check box
inline constexpr uint32_t Self = 0x06010000;   // each window's own unit
inline constexpr uint32_t Label1 = 0x16010101, Label2 = 0x16010102, Hidden1 = 0x16010103,
                          Label3 = 0x16010104, Quiet1 = 0x16010105, Menu1 = 0x26010106;
inline constexpr uint32_t BButton = 0x16010201, ECheck = 0x16010501, BrokenUnit = 0x16010401;

// Plain-event numbers bound on Label1.
inline constexpr int32_t kResultEvent = 1, kNoHandlerEvent = 2, kTypedEvent = 6, kPlainEvent = 8,
                         kUnboundEvent = 9;

extern std::vector<std::string> trace;
extern uint32_t received[24]; // argument words the last OnTyped / OnPlain saw
extern int32_t idleAnswers;   // OnIdle answers true this many times per idle period

std::vector<st::WindowDescription> Windows(const void* codeBase);

} // namespace testwindows
