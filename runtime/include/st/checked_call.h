// The application's call of an external function: through service slot 1,
// with the stack position compared before and after. A function that does
// not remove exactly its arguments (the system's standard calling convention)
// ends the program with run-time error 6.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace st {

// External function n with the given 32-bit arguments, first argument first.
uint32_t CheckedDllCall(int32_t n, std::initializer_list<uint32_t> args);

// The same check around a function called directly by address.
uint32_t CheckedStdCall(const void* function, std::initializer_list<uint32_t> args);

} // namespace st
