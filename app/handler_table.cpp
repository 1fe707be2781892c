#include "handler_table.h"

extern "C" void OnMainWindowCreated() {}

// One jump per handler, each padded to its 8-byte entry.
#define APP_HANDLER_ENTRY(name) "    jmp _" #name "\n    .p2align 3\n"
asm("    .section .text$handler_table,\"x\"\n"
    "    .globl _HandlerTable\n"
    "    .p2align 3\n"
    "_HandlerTable:\n" APP_HANDLERS(APP_HANDLER_ENTRY));
#undef APP_HANDLER_ENTRY
