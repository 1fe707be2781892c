// Building ArgRecords and calling library commands in tests.
#pragma once

#include "st/services.h"
#include "st/values.h"
#include "runtime_started.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace cmdtest {

using st::ArgRecord;
namespace Tag = st::TypeTag;

inline uint32_t Word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

inline ArgRecord Omitted() {
    return {0, 0, 0};
}
inline ArgRecord Int(int32_t v) {
    return {static_cast<uint32_t>(v), 0, Tag::Int};
}
inline ArgRecord Bool(bool v) {
    return {v ? 1u : 0u, 0, Tag::Bool};
}
inline ArgRecord Text(const char* t) {
    return {Word(t), 0, Tag::Text};
}
inline ArgRecord Of(uint32_t tag, uint32_t low, uint32_t high = 0) {
    return {low, high, tag};
}
inline ArgRecord Double(double v, uint32_t tag = Tag::Double) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), tag};
}

// A byte set block owned by the test (freed with the holder).
class Bytes {
  public:
    explicit Bytes(const std::string& data) : block_(8 + data.size()) {
        int32_t header[2] = {1, static_cast<int32_t>(data.size())};
        std::memcpy(block_.data(), header, 8);
        std::memcpy(block_.data() + 8, data.data(), data.size());
    }
    ArgRecord Arg() const { return {Word(block_.data()), 0, Tag::Bytes}; }

  private:
    std::vector<char> block_;
};

using Command = void (*)(ArgRecord*, int32_t, ArgRecord*);

// A command called the way application code calls it: through the service table.
inline ArgRecord Call(Command command, std::initializer_list<ArgRecord> args) {
    testing::StartRuntimeOnce(); // the runtime as a program starts it, once
    std::vector<ArgRecord> list(args);
    return st::Services.CallLibraryCommand2(command, static_cast<int32_t>(list.size()),
                                            list.data());
}

inline const char* AsText(const ArgRecord& r) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(r.low));
}
inline void* AsBlock(const ArgRecord& r) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(r.low));
}
inline int32_t AsInt(const ArgRecord& r) {
    return static_cast<int32_t>(r.low);
}
inline double AsDouble(const ArgRecord& r) {
    uint64_t bits = (uint64_t{r.high} << 32) | r.low;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

// A text result as a string, freeing the block; "<null>" for the null text and
// "<empty block>" for the zero-length block no command may return.
inline std::string TakeText(const ArgRecord& r) {
    const char* t = AsText(r);
    if (!t) return "<null>";
    std::string s = *t ? std::string(t) : std::string("<empty block>");
    st::FreeMemory(const_cast<char*>(t));
    return s;
}

// A byte-set result's data, freeing the block; "<null>" as for texts.
inline std::string TakeBytes(const ArgRecord& r) {
    void* set = AsBlock(r);
    if (!set) return "<null>";
    std::string s = st::ByteSetLength(set) > 0
                        ? std::string(reinterpret_cast<const char*>(st::ByteSetData(set)),
                                      static_cast<size_t>(st::ByteSetLength(set)))
                        : std::string("<empty block>");
    st::FreeMemory(set);
    return s;
}

} // namespace cmdtest
