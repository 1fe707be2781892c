#include "handler_table.h"

extern "C" void OnMainWindowCreated() {}

// Entry order is the template's offset order: add new handlers at the end.
asm(R"(
    .section .text$handler_table,"x"
    .globl _HandlerTable
    .p2align 3
_HandlerTable:
    jmp _OnMainWindowCreated      # offset 0
    .p2align 3
)");
