// The code base: one 8-byte entry per event handler, each a jump to the
// handler. Window templates name a handler by its entry's offset from here
// (entry i at offset 8 * i), so code base + offset is always a valid handler.
#pragma once

extern "C" const char HandlerTable[];

namespace app {

// Handlers bound in the window template.
extern "C" void OnMainWindowCreated(); // the main window's event 0: nothing to do

} // namespace app
