// Notify: seven numbered runtime requests, dispatched through one table.
#include <cstdarg>
#include <cstring>

#include "registry.h"

namespace st {

static bool AttributesMatch(DWORD attributes, uint32_t mask, bool anyFile) {
    if (anyFile) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    uint32_t wanted = mask & 0x37;
    // Read-only, hidden, system, directory, archive: a mask of 0 asks for an
    // entry with none of them.
    if (wanted == 0) return (attributes & 0x37) == 0;
    return (attributes & wanted) != 0;
}

void CloseFind(HANDLE search) {
    if (search) FindClose(search);
}

TextValue FindFile(const char* pattern, uint32_t mask, bool anyFile, HANDLE* search) {
    WIN32_FIND_DATAA data;
    bool found;
    if (pattern && *pattern) {
        // A new search replaces an unfinished one rather than leaking it.
        CloseFind(*search);
        *search = nullptr;
        HANDLE h = FindFirstFileA(pattern, &data);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        *search = h;
        found = true;
    } else {
        if (!*search) return nullptr;
        found = FindNextFileA(*search, &data) != 0;
    }
    while (found) {
        if (AttributesMatch(data.dwFileAttributes, mask, anyFile)) return CopyText(data.cFileName);
        found = FindNextFileA(*search, &data) != 0;
    }
    CloseFind(*search);
    *search = nullptr;
    return nullptr;
}

void MakeArrayWritable(int32_t elementSize, void** arrayVariable) {
    void* array = *arrayVariable;
    if (!array || !Runtime().staticBlocks.Find(array)) return;
    int32_t dimensions = *static_cast<const int32_t*>(array);
    int32_t bytes = 4 + 4 * dimensions + ElementCount(array) * elementSize;
    void* copy = AllocMemory(bytes);
    std::memcpy(copy, array, static_cast<size_t>(bytes));
    *arrayVariable = copy;
}

const TypeRecord* FindTypeRecord(uint32_t typeId) {
    const RuntimeState& rt = Runtime();
    uint32_t library = typeId >> 16, type = typeId & 0xFFFF;
    if (library == 0 || library > rt.libraries.size() || type == 0) return nullptr;
    const LibraryRecord* record = rt.libraries[library - 1];
    if (static_cast<int32_t>(type) > record->typeCount || !record->types) return nullptr;
    return &record->types[type - 1];
}

static uint32_t NotifyFindFile(va_list args) {
    const char* pattern = va_arg(args, const char*);
    uint32_t mask = va_arg(args, uint32_t);
    int32_t anyFile = va_arg(args, int32_t);
    HANDLE* search = va_arg(args, HANDLE*);
    return reinterpret_cast<uint32_t>(FindFile(pattern, mask, anyFile != 0, search));
}

static uint32_t NotifyCloseFind(va_list args) {
    CloseFind(va_arg(args, HANDLE));
    return 0;
}

static uint32_t NotifyMakeArrayWritable(va_list args) {
    int32_t elementSize = va_arg(args, int32_t);
    MakeArrayWritable(elementSize, va_arg(args, void**));
    return 0;
}

static uint32_t NotifySetEndRoutine(va_list args) {
    Runtime().endRoutine = va_arg(args, EndRoutineFn);
    return 0;
}

// Library objects answer through their type's interface entries 6 (get) and
// 4 (set), like units, with the value converted by its PropertyKind: the kind
// given when it is one (1000-1024), else the kind in the type's property table.
static uint16_t ObjectKind(const TypeRecord* type, int32_t index, uint32_t given) {
    if (given >= 1000 && given <= 1024) return static_cast<uint16_t>(given);
    return KindOf(type, index);
}

static uint32_t NotifyGetObjectProperty(va_list args) {
    uint32_t typeId = va_arg(args, uint32_t);
    void* object = va_arg(args, void*);
    int32_t index = va_arg(args, int32_t);
    uint32_t kind = va_arg(args, uint32_t);
    uint64_t* out = va_arg(args, uint64_t*);
    uint64_t value = 0;
    const TypeRecord* type = FindTypeRecord(typeId);
    if (!out || !ReadConverted(type, object, index, ObjectKind(type, index, kind), -1, value))
        return 0;
    *out = value;
    return 1;
}

static uint32_t NotifySetObjectProperty(va_list args) {
    uint32_t typeId = va_arg(args, uint32_t);
    void* object = va_arg(args, void*);
    int32_t index = va_arg(args, int32_t);
    uint32_t kind = va_arg(args, uint32_t);
    const uint32_t* value = va_arg(args, const uint32_t*);
    if (!value) return 0;
    const TypeRecord* type = FindTypeRecord(typeId);
    return WriteConverted(type, object, index, ObjectKind(type, index, kind), -1, value[0],
                          value[1]) >= 0
               ? 1
               : 0;
}

static uint32_t NotifyStartRuntime(va_list) {
    StartRuntime();
    return 0;
}

using NotifyRoutine = uint32_t (*)(va_list);
static const NotifyRoutine kNotifyTable[7] = {
    NotifyFindFile,          NotifyCloseFind,         NotifyMakeArrayWritable, NotifySetEndRoutine,
    NotifyGetObjectProperty, NotifySetObjectProperty, NotifyStartRuntime,
};

uint32_t Notify(int32_t code, ...) {
    if (code < 0 || code > 6) return 0;
    va_list args;
    va_start(args, code);
    uint32_t result = kNotifyTable[code](args);
    va_end(args);
    return result;
}

} // namespace st
