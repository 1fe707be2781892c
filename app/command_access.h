// How the application's routines reach the runtime: library commands through
// the service table (slot 3) with ArgRecords, external functions by
// declaration number through slot 1 with the stack check. The commands are
// the core library's, found by their place in its table.
#pragma once

#include "st/core_command_list.h"
#include "st/checked_call.h"
#include "st/services.h"

#include <cstdint>
#include <initializer_list>

namespace app::calls {

using st::ArgRecord;
namespace Tag = st::TypeTag;

inline uint32_t Word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}
inline void* Pointer(uint32_t w) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(w));
}

// Callers hand commands EmptyText and EmptyBlock for null variables.
inline ArgRecord TextArg(const char* t) {
    return {Word(t ? t : st::EmptyText), 0, Tag::Text};
}
inline ArgRecord BytesArg(const void* b) {
    return {Word(b ? b : st::EmptyBlock), 0, Tag::Bytes};
}
inline ArgRecord IntArg(int32_t v) {
    return {static_cast<uint32_t>(v), 0, Tag::Int};
}
inline ArgRecord BoolArg(bool v) {
    return {v ? 1u : 0u, 0, Tag::Bool};
}

inline char* AsText(const ArgRecord& r) {
    return static_cast<char*>(Pointer(r.low));
}
inline int32_t AsInt(const ArgRecord& r) {
    return static_cast<int32_t>(r.low);
}

namespace CommandId = st::CoreCommand;

inline ArgRecord Command(int32_t index, std::initializer_list<ArgRecord> args) {
    return st::Services.CallLibraryCommand2(st::CoreLibrary.commands[index],
                                            static_cast<int32_t>(args.size()),
                                            const_cast<ArgRecord*>(args.begin()));
}

inline uint32_t External(int32_t n, std::initializer_list<uint32_t> args) {
    return st::CheckedDllCall(n, args);
}

// The same for a call that may block (a network wait): it runs on a thread of
// its own while the window keeps processing its messages. Memory the call
// reads or writes goes as st::AsideArg::In or InOut.
inline st::AsideResult ExternalAside(int32_t n, std::initializer_list<st::AsideArg> args) {
    return st::CheckedDllCallAside(n, args);
}

// A new heap copy of a constant, so the caller frees the result like any other.
inline st::TextValue CopyOf(const char* text) {
    return AsText(Command(CommandId::ToText, {TextArg(text)}));
}

} // namespace app::calls
