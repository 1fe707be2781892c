// Values as application code, library commands and units exchange them.
//
// Every argument and result is an ArgRecord: two value words and a type tag.
// Texts, byte sets and arrays are single pointers to blocks on the runtime
// heap; a null pointer is the empty value of its kind. Literals in the
// program's constant segment (EmptyText, EmptyBlock, constant texts) may stand
// in for heap blocks: FreeMemory ignores them, so every variable is freed
// alike. This header is the whole of what application code sees of values.
#pragma once

#include <cstdint>

namespace st {

struct ArgRecord {
    uint32_t low;  // value low word (or the pointer of a text, byte set, array)
    uint32_t high; // value high word, 8-byte kinds only
    uint32_t tag;  // TypeTag; 0 = argument omitted
};
static_assert(sizeof(ArgRecord) == 12, "ArgRecord is three 32-bit words");

namespace TypeTag {
inline constexpr uint32_t Omitted = 0;
inline constexpr uint32_t Byte = 0x80000101;
inline constexpr uint32_t Short = 0x80000201;
inline constexpr uint32_t Int = 0x80000301;
inline constexpr uint32_t Long = 0x80000401;
inline constexpr uint32_t Float = 0x80000501;
inline constexpr uint32_t Double = 0x80000601;
inline constexpr uint32_t Bool = 0x80000002;
inline constexpr uint32_t DateTime = 0x80000003;
inline constexpr uint32_t Text = 0x80000004;
inline constexpr uint32_t Bytes = 0x80000005;
inline constexpr uint32_t Address = 0x80000006;
inline constexpr uint32_t Opaque8 = 0x80000008; // sized (8 bytes), no other behaviour
inline constexpr uint32_t ArrayFlag = 0x20000000;
inline constexpr uint32_t ElementKind(uint32_t tag) {
    return tag & 0xDFFFFFFFu;
}
inline constexpr bool IsArray(uint32_t tag) {
    return (tag & ArrayFlag) != 0;
}
inline constexpr bool IsUnitReference(uint32_t tag) {
    return (tag & 0xFFFF0000u) == 0x00010000u;
}
} // namespace TypeTag

// Size in bytes of one element of a kind (tag without ArrayFlag); 0 for kinds
// without a fixed size. Texts, byte sets and arrays count as 4-byte pointers.
int32_t ElementSize(uint32_t kind);

// A text: NUL-terminated GBK bytes on the runtime heap; null is empty.
using TextValue = char*;

// A byte set block: dimension count (always 1), length n, n data bytes.
// Laid out exactly as a one-dimensional array of bytes.
struct ByteSetHeader {
    int32_t dimensions;
    int32_t length;
};
inline int32_t ByteSetLength(const void* set) {
    return set ? static_cast<const ByteSetHeader*>(set)->length : 0;
}
inline unsigned char* ByteSetData(void* set) {
    return static_cast<unsigned char*>(set) + sizeof(ByteSetHeader);
}
inline const unsigned char* ByteSetData(const void* set) {
    return static_cast<const unsigned char*>(set) + sizeof(ByteSetHeader);
}

// An array block: dimension count k (>= 1), k sizes (outermost first), then
// the elements; text, byte-set and array elements are 4-byte pointers.

// Constants in the program's constant segment. Callers pass EmptyText for a
// null text variable and EmptyBlock for a null byte set, so commands may read
// every text argument without a null check.
extern const char EmptyText[1];
extern const int32_t EmptyBlock[2]; // {1, 0}

// A library command: writes the value words of the zeroed result record.
using LibraryCommand = void (*)(ArgRecord* result, int32_t count, ArgRecord* args);

// --- Runtime heap (the three memory services) ---------------------------
void* AllocMemory(int32_t size);                // never null; failure ends the program
void* ReallocMemory(void* block, int32_t size); // null block = AllocMemory
void FreeMemory(void* block);                   // ignores null and constant data

// --- Run-time errors (terminal: one message box, exit code -1) ----------
[[noreturn]] void RaiseError(int32_t number); // texts 1-11 of the error table
[[noreturn]] void RuntimeError(const char* text, int32_t code);

// --- Value-level operations ---------------------------------------------
// Copy as the commands do it: null or "" gives null.
TextValue CopyText(const char* text);
// Copy as an assignment does it: null gives null, anything else (EmptyText
// included) a new block.
TextValue AssignText(const char* text);
// n <= 0 gives null; otherwise n bytes and a NUL.
TextValue TextFromBytes(const void* bytes, int32_t n);
// n == 0 gives null; otherwise a byte set of n bytes.
void* ByteSetFromBytes(const void* bytes, int32_t n);
// Concatenation of count parts (null parts count as empty); never null.
TextValue ConcatTexts(const char* const* parts, int32_t count);
// Copy of a whole byte set (null stays null).
void* CopyByteSet(const void* set);
// Number of elements of an array block (product of its sizes).
int32_t ElementCount(const void* array);
// Appends a copy of value (of the array's element kind) to the array held in
// *arrayVariable, copying a constant array to the heap first.
void AppendElement(void** arrayVariable, uint32_t elementKind, const ArgRecord& value);
// Address of element index (1-based) of a one-dimensional view of the array;
// raises run-time error 4 below 1 and error 1 past the end.
void* ElementAt(void* array, int32_t index, int32_t elementSize);
// Frees an array and, for text/byte-set/array elements, each element.
void FreeArray(void* array, uint32_t elementKind);

// Byte form of a scalar value (little-endian at its element size; a byte set's
// data; a text's bytes with the NUL). Returns false for kinds without one.
bool ValueByteForm(const ArgRecord& value, const void** bytes, int32_t* length);

} // namespace st
