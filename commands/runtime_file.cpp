#include "st/runtime_file.h"

#include "st/values.h"

#include <algorithm>
#include <cstring>

namespace st::cmd {

MemoryFile::~MemoryFile() {
    Close();
}

bool MemoryFile::Read(void* buffer, int32_t wanted, int32_t* got) {
    *got = 0;
    if (wanted < 0) return false;
    if (position_ >= length_) return true;
    int32_t n = static_cast<int32_t>(std::min<int64_t>(wanted, length_ - position_));
    std::memcpy(buffer, buffer_ + position_, static_cast<size_t>(n));
    position_ += n;
    *got = n;
    return true;
}

bool MemoryFile::Write(const void* data, int32_t size) {
    if (size < 0) return false;
    if (size == 0) return true;
    const int64_t end = position_ + size;
    if (end > 0x7FFFFFFF - GrowStep) return false; // no 2 GB buffer in a 32-bit process
    if (end > capacity_) {
        int32_t grown = static_cast<int32_t>((end + GrowStep - 1) / GrowStep * GrowStep);
        buffer_ = static_cast<unsigned char*>(ReallocMemory(buffer_, grown));
        capacity_ = grown;
    }
    // A pointer moved past the end leaves a gap; it reads back as zeros.
    if (position_ > length_)
        std::memset(buffer_ + length_, 0, static_cast<size_t>(position_ - length_));
    std::memcpy(buffer_ + position_, data, static_cast<size_t>(size));
    position_ = end;
    length_ = std::max<int32_t>(length_, static_cast<int32_t>(end));
    return true;
}

bool MemoryFile::Seek(int64_t offset, int origin) {
    int64_t base = origin == 0 ? 0 : origin == 1 ? position_ : origin == 2 ? length_ : -1;
    if (base < 0 || base + offset < 0) return false;
    position_ = base + offset;
    return true;
}

bool MemoryFile::Close() {
    FreeMemory(buffer_);
    buffer_ = nullptr;
    capacity_ = length_ = 0;
    position_ = 0;
    return true;
}

void OpenFileTable::Register(RuntimeFile* file, uint8_t kind) {
    if (Find(FileNumberOf(file))) return;
    entries_.push_back({file, kind});
}

int OpenFileTable::LookUp(uint32_t fileNumber) const {
    for (const Entry& e : entries_)
        if (FileNumberOf(e.file) == fileNumber) return e.kind;
    return -1;
}

bool OpenFileTable::Unregister(uint32_t fileNumber) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return FileNumberOf(e.file) == fileNumber; });
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
}

RuntimeFile* OpenFileTable::Find(uint32_t fileNumber) const {
    if (fileNumber == 0) return nullptr;
    for (const Entry& e : entries_)
        if (FileNumberOf(e.file) == fileNumber) return e.file;
    return nullptr;
}

OpenFileTable& OpenFileTable::Instance() {
    static OpenFileTable table;
    return table;
}

} // namespace st::cmd
