// Stored unit records and property blocks: the walker over a unit record's
// fields (shared by the template loader, the registry, the window unit and the
// template builder) and the PropertyBlock primitives every unit type reads
// and writes its own properties with.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace st {

class UnitBase; // st/units.h

// A 32-bit slot of a stored record, read and written whole: records are
// byte streams, so a slot need not be aligned.
inline uint32_t ReadSlot(const uint32_t* slot) {
    uint32_t v;
    std::memcpy(&v, slot, 4);
    return v;
}
inline void WriteSlot(uint32_t* slot, uint32_t value) {
    std::memcpy(slot, &value, 4);
}
inline UnitBase* SlotObject(const uint32_t* slot) {
    return reinterpret_cast<UnitBase*>(static_cast<uintptr_t>(ReadSlot(slot)));
}
inline void SetSlotObject(uint32_t* slot, UnitBase* object) {
    WriteSlot(slot, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)));
}

// Walks a stored record field by field; every step fails instead of reading
// past the end.
struct RecordCursor {
    uint8_t* bytes;
    uint32_t size;
    uint32_t at = 0;

    bool Fits(uint32_t n) const { return at <= size && size - at >= n; }
    uint8_t* Here() const { return bytes + at; }
    bool Skip(uint32_t n) {
        if (!Fits(n)) return false;
        at += n;
        return true;
    }
    bool Word(uint32_t& out) {
        if (!Fits(4)) return false;
        std::memcpy(&out, bytes + at, 4);
        at += 4;
        return true;
    }
    // A 32-bit slot written in place (live object, flags, handler).
    bool Slot(uint32_t*& out) {
        out = reinterpret_cast<uint32_t*>(bytes + at);
        return Skip(4);
    }
    bool ZeroText(const char*& out) {
        const void* end = at <= size ? std::memchr(bytes + at, 0, size - at) : nullptr;
        if (!end) return false;
        out = reinterpret_cast<const char*>(bytes + at);
        at = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - bytes) + 1;
        return true;
    }
};

// One unit record (every unit except menu items), its fields found by walking:
// nothing past field 5 sits at a fixed offset. The pointers point into the
// record, so writing through them changes the stored unit.
struct UnitRecordView {
    uint8_t* record = nullptr; // the bytes after the record's own length word
    uint32_t length = 0;

    uint32_t type = 0;        // data type id
    uint32_t eventSource = 0; // unit whose event bindings are used; 0 = own
    const char* name = nullptr;
    const char* remark = nullptr;
    uint32_t* objectSlot = nullptr; // live unit object (UnitBase*) or 0
    int32_t* geometry = nullptr;    // left, top, width, height
    uint32_t* cursorSlot = nullptr; // custom cursor handle or 0
    uint32_t parent = 0;            // container unit; 0 = the window
    uint32_t childCount = 0;
    const uint32_t* children = nullptr;
    uint32_t pointerLength = 0;
    uint8_t* pointer = nullptr; // mouse-pointer value
    const char* tag = nullptr;
    uint32_t* flags = nullptr; // UnitFlag bits
    uint32_t tabOrder = 0;
    uint32_t eventCount = 0;
    uint32_t* events = nullptr; // eventCount pairs: number, handler (offset as stored)
    uint8_t* propertyBlock = nullptr;
    uint32_t propertyLength = 0;

    // Offsets of the variable-position fields, for code that rebuilds records.
    uint32_t tagOffset = 0, afterTagOffset = 0;

    // False when the record ends before field 18.
    bool Parse(uint8_t* bytes, uint32_t size) {
        *this = UnitRecordView{};
        record = bytes;
        length = size;
        RecordCursor c{bytes, size};
        if (!c.Word(type) || !c.Word(eventSource) || !c.Skip(16) || !c.ZeroText(name) ||
            !c.ZeroText(remark) || !c.Slot(objectSlot))
            return false;
        geometry = reinterpret_cast<int32_t*>(c.Here());
        if (!c.Skip(16) || !c.Slot(cursorSlot) || !c.Word(parent) || !c.Word(childCount))
            return false;
        children = reinterpret_cast<const uint32_t*>(c.Here());
        if (childCount > (size - c.at) / 4 || !c.Skip(childCount * 4)) return false;
        if (!c.Word(pointerLength)) return false;
        pointer = c.Here();
        if (!c.Skip(pointerLength)) return false;
        tagOffset = c.at;
        if (!c.ZeroText(tag)) return false;
        afterTagOffset = c.at;
        uint32_t reserved;
        if (!c.Word(reserved) || !c.Slot(flags) || !c.Word(tabOrder) || !c.Word(eventCount))
            return false;
        events = reinterpret_cast<uint32_t*>(c.Here());
        if (eventCount > (size - c.at) / 8 || !c.Skip(eventCount * 8) || !c.Skip(20)) return false;
        propertyBlock = c.Here();
        propertyLength = size - c.at;
        return true;
    }

    uint32_t Flags() const { return ReadSlot(flags); }
    // The live slots: the unit object (null while the window is not created)
    // and the custom cursor handle.
    UnitBase* Object() const { return SlotObject(objectSlot); }
    void SetObject(UnitBase* object) const { SetSlotObject(objectSlot, object); }
    uint32_t Cursor() const { return ReadSlot(cursorSlot); }
    void SetCursor(uint32_t cursor) const { WriteSlot(cursorSlot, cursor); }
};

// A menu item's record (unit ids with bits 24-27 = 6 and 28-31 = 2): type,
// event-source unit, 16 reserved bytes, name, remark, object slot, two words,
// flags (bit 0 hidden, bits 1 and 2 two further states), caption, one handler.
struct MenuItemView {
    uint8_t* record = nullptr;
    uint32_t length = 0;
    uint32_t type = 0;
    uint32_t eventSource = 0;
    const char* name = nullptr;
    const char* remark = nullptr;
    uint32_t* objectSlot = nullptr;
    uint32_t words[2] = {0, 0};
    uint32_t* flags = nullptr;
    const char* caption = nullptr;
    uint32_t* handler = nullptr; // offset as stored; entry point after loading
    uint32_t captionOffset = 0;  // for code that rebuilds records

    // False when the record ends before the handler.
    bool Parse(uint8_t* bytes, uint32_t size) {
        *this = MenuItemView{};
        record = bytes;
        length = size;
        RecordCursor c{bytes, size};
        if (!c.Word(type) || !c.Word(eventSource) || !c.Skip(16) || !c.ZeroText(name) ||
            !c.ZeroText(remark) || !c.Slot(objectSlot) || !c.Word(words[0]) || !c.Word(words[1]) ||
            !c.Slot(flags))
            return false;
        captionOffset = c.at;
        return c.ZeroText(caption) && c.Slot(handler);
    }

    uint32_t Flags() const { return ReadSlot(flags); }
    UnitBase* Object() const { return SlotObject(objectSlot); }
    void SetObject(UnitBase* object) const { SetSlotObject(objectSlot, object); }
};

// Writes a PropertyBlock: little-endian primitives, no alignment, no separators.
class PropertyWriter {
  public:
    void I32(int32_t v) { Raw(&v, 4); }
    void I16(int16_t v) { Raw(&v, 2); }
    void Text(const std::string& s) {
        I32(static_cast<int32_t>(s.size()));
        Raw(s.data(), s.size());
    }
    void Bytes(const std::vector<uint8_t>& b) {
        I32(static_cast<int32_t>(b.size()));
        Raw(b.data(), b.size());
    }
    const std::vector<uint8_t>& Data() const { return data_; }
    std::vector<uint8_t> Take() { return std::move(data_); }

  private:
    // resize + memcpy: GCC 12 at -O3 reports a false overflow for a
    // range insert of a few bytes, which -Werror turns into a build failure.
    void Raw(const void* p, size_t n) {
        if (n == 0) return;
        size_t at = data_.size();
        data_.resize(at + n);
        std::memcpy(data_.data() + at, p, n);
    }
    std::vector<uint8_t> data_;
};

// Reads a PropertyBlock; any read past the end sets failed() and yields zero/empty.
class PropertyReader {
  public:
    PropertyReader(const void* block, int32_t length)
        : p_(static_cast<const uint8_t*>(block)), n_(length > 0 && block ? uint32_t(length) : 0) {}
    int32_t I32() {
        int32_t v = 0;
        Raw(&v, 4);
        return v;
    }
    int16_t I16() {
        int16_t v = 0;
        Raw(&v, 2);
        return v;
    }
    std::string Text() {
        int32_t n = I32();
        if (n <= 0 || failed_) return {};
        if (uint32_t(n) > n_ - at_) return Fail(), std::string();
        std::string s(reinterpret_cast<const char*>(p_ + at_), uint32_t(n));
        at_ += uint32_t(n);
        return s;
    }
    std::vector<uint8_t> Bytes() {
        int32_t n = I32();
        if (n <= 0 || failed_) return {};
        if (uint32_t(n) > n_ - at_) return Fail(), std::vector<uint8_t>();
        std::vector<uint8_t> b(p_ + at_, p_ + at_ + n);
        at_ += uint32_t(n);
        return b;
    }
    bool failed() const { return failed_; }
    bool empty() const { return n_ == 0; }
    uint32_t position() const { return at_; }

  private:
    void Fail() { failed_ = true; }
    void Raw(void* out, uint32_t k) {
        if (failed_ || n_ - at_ < k) {
            failed_ = true;
            return;
        }
        std::memcpy(out, p_ + at_, k);
        at_ += k;
    }
    const uint8_t* p_;
    uint32_t n_, at_ = 0;
    bool failed_ = false;
};

// A unit type's property data: reset, then one routine that reads or writes.
//   struct EditProperties { ...; void Reset(); bool Transfer(PropertyIO& io); };
// PropertyIO lets the same field list serve both directions.
class PropertyIO {
  public:
    explicit PropertyIO(PropertyWriter& w) : writer_(&w) {}
    explicit PropertyIO(PropertyReader& r) : reader_(&r) {}
    bool Reading() const { return reader_ != nullptr; }
    void I32(int32_t& v) { reader_ ? void(v = reader_->I32()) : writer_->I32(v); }
    // A colour: the same four bytes, unsigned.
    void U32(uint32_t& v) {
        int32_t word = static_cast<int32_t>(v);
        I32(word);
        v = static_cast<uint32_t>(word);
    }
    void I16(int16_t& v) { reader_ ? void(v = reader_->I16()) : writer_->I16(v); }
    void Text(std::string& s) { reader_ ? void(s = reader_->Text()) : writer_->Text(s); }
    void Bytes(std::vector<uint8_t>& b) {
        reader_ ? void(b = reader_->Bytes()) : writer_->Bytes(b);
    }
    bool Failed() const { return reader_ && reader_->failed(); }

  private:
    PropertyWriter* writer_ = nullptr;
    PropertyReader* reader_ = nullptr;
};

} // namespace st
