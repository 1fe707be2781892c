// Runtime file objects and the table of open file numbers.
//
// A FileNumber is the address of the file object itself; the OpenFileTable is
// what makes it safe to take one back from application code: every command
// looks the number up before it touches the object.
#pragma once

#include <cstdint>
#include <vector>

namespace st::cmd {

class RuntimeFile {
  public:
    virtual ~RuntimeFile() = default;
    // Each operation answers false on a file error and leaves the object
    // usable; nothing is thrown.
    virtual bool Read(void* buffer, int32_t wanted, int32_t* got) = 0;
    virtual bool Write(const void* data, int32_t size) = 0;
    // origin: 0 start, 1 current position, 2 end (the Win32 FILE_* values).
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Length() const = 0;
    virtual bool Close() = 0;
};

// Contents in one runtime-heap buffer that grows in 1024-byte steps.
class MemoryFile final : public RuntimeFile {
  public:
    static constexpr int32_t GrowStep = 1024;
    ~MemoryFile() override;
    bool Read(void* buffer, int32_t wanted, int32_t* got) override;
    bool Write(const void* data, int32_t size) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Position() const override { return position_; }
    int64_t Length() const override { return length_; }
    bool Close() override;
    int32_t Capacity() const { return capacity_; }

  private:
    unsigned char* buffer_ = nullptr;
    int32_t capacity_ = 0;
    int32_t length_ = 0;
    int64_t position_ = 0;
};

namespace FileKind {
inline constexpr int Memory = 2;
}

class OpenFileTable {
  public:
    // Adds the entry; nothing when the file is already present.
    void Register(RuntimeFile* file, uint8_t kind);
    // The kind byte, or -1 for a number that is not open.
    int LookUp(uint32_t fileNumber) const;
    // Removes the entry; answers whether it was present.
    bool Unregister(uint32_t fileNumber);
    // The object behind an open number, or null.
    RuntimeFile* Find(uint32_t fileNumber) const;

    static OpenFileTable& Instance();

  private:
    struct Entry {
        RuntimeFile* file;
        uint8_t kind;
    };
    std::vector<Entry> entries_;
};

inline uint32_t FileNumberOf(const RuntimeFile* file) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file));
}

} // namespace st::cmd
