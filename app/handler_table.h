// The code base: one 8-byte entry per event handler, each a jump to the
// handler. Window templates name a handler by its entry's offset from here
// (entry i at offset 8 * i), so code base + offset is always a valid handler.
#pragma once

#include <cstdint>

extern "C" const char HandlerTable[];

// Handlers bound in the window template, in entry order: the template names
// them by place, so new handlers go at the end.
#define APP_HANDLERS(X)                                                                            \
    X(OnMainWindowCreated) /* the main window's event 0: nothing to do */                          \
    X(ResetAudioState)     /* the edit box's content changed */                                    \
    X(OnSynthesizeClick)                                                                           \
    X(OnPlayClick)                                                                                 \
    X(OnSaveAsClick)

#define APP_DECLARE_HANDLER(name) extern "C" void name();
APP_HANDLERS(APP_DECLARE_HANDLER)
#undef APP_DECLARE_HANDLER

namespace app {

enum class Handler : int32_t {
#define APP_HANDLER_NUMBER(name) name,
    APP_HANDLERS(APP_HANDLER_NUMBER)
#undef APP_HANDLER_NUMBER
};

inline constexpr int32_t kHandlerEntrySize = 8;

// A handler's offset from the code base, as the template stores it.
constexpr int32_t HandlerOffset(Handler h) {
    return kHandlerEntrySize * static_cast<int32_t>(h);
}

} // namespace app
