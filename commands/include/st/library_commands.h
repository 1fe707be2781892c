// The routines of the core library's commands. Each is a LibraryCommand:
// (zeroed result record, argument count, ArgRecord array).
#pragma once

#include "st/values.h"

#include "st/core_command_list.h"

#define ST_DECLARE_COMMAND(name, space)                                                            \
    namespace space {                                                                              \
    void name(ArgRecord* result, int32_t count, ArgRecord* args);                                  \
    }
ST_CORE_COMMANDS(ST_DECLARE_COMMAND)
#undef ST_DECLARE_COMMAND
