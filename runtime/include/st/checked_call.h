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

// An argument of a call made aside: a plain word, or the address of memory
// the function reads (In) or reads and writes (InOut). The function gets a
// copy of that memory; an InOut copy comes back to the caller when the call
// ends, so no other thread ever touches the caller's own bytes.
struct AsideArg {
    AsideArg(uint32_t value) : word(value) {}
    static AsideArg In(const void* data, uint32_t size) { return {data, size, false}; }
    static AsideArg InOut(void* data, uint32_t size) { return {data, size, true}; }

    uint32_t word = 0;
    const void* data = nullptr; // memory: its address, null for a plain word
    uint32_t size = 0;
    bool writeBack = false;

  private:
    AsideArg(const void* d, uint32_t n, bool back) : data(d), size(n), writeBack(back) {}
};

struct AsideResult {
    bool ended = false; // false: the program is closing and the call was left running
    uint32_t value = 0;
};

// External function n with the checks of CheckedDllCall, run on a thread of
// its own while this thread keeps processing its messages: a function that
// blocks (a network read waiting for its server) must not stop the window
// from repainting or closing. Handlers may run, and nest, during the wait.
// When WM_QUIT is next in the queue before the call ends, the wait gives up
// and returns {false, 0}: the call finishes on its thread with its own
// copies, and the caller's memory is left as it was.
AsideResult CheckedDllCallAside(int32_t n, std::initializer_list<AsideArg> args);

} // namespace st
