// Loading the window template segment.
#include "template_segment.h"

#include <cstring>
#include <new>

#include "st/template_record.h"

namespace st {

namespace {

// A sequential reader over the segment with a 4096-byte buffer.
class SegmentReader {
  public:
    SegmentReader(const void* start, uint32_t length)
        : source_(static_cast<const uint8_t*>(start)), remaining_(start ? length : 0) {}

    bool Read(void* out, uint32_t n) {
        uint8_t* to = static_cast<uint8_t*>(out);
        while (n > 0) {
            if (at_ == filled_ && !Fill()) return false;
            uint32_t take = filled_ - at_ < n ? filled_ - at_ : n;
            std::memcpy(to, buffer_ + at_, take);
            at_ += take;
            to += take;
            n -= take;
        }
        return true;
    }
    bool U32(uint32_t& v) { return Read(&v, 4); }
    // Bytes still to come; nothing larger is ever allocated.
    uint32_t Left() const { return remaining_ + (filled_ - at_); }
    bool Counted(std::string& s) {
        uint32_t n;
        if (!U32(n) || n > Left()) return false;
        s.resize(n);
        return Read(s.data(), n);
    }

  private:
    bool Fill() {
        if (remaining_ == 0) return false;
        filled_ = remaining_ < sizeof buffer_ ? remaining_ : sizeof buffer_;
        std::memcpy(buffer_, source_, filled_);
        source_ += filled_;
        remaining_ -= filled_;
        at_ = 0;
        return true;
    }
    const uint8_t* source_;
    uint32_t remaining_;
    uint8_t buffer_[4096];
    uint32_t filled_ = 0, at_ = 0;
};

uint32_t Fixed(uint32_t stored, uint32_t codeBase) {
    return stored == 0xFFFFFFFFu ? 0 : codeBase + stored;
}

bool ReadUnitList(SegmentReader& in, uint32_t codeBase, UnitList& list) {
    uint32_t n, m;
    if (!in.U32(n) || !in.U32(m) || m > in.Left() || n > m / 8) return false;
    std::vector<uint8_t> block(m);
    if (!in.Read(block.data(), m)) return false;
    const uint8_t* tables = block.data();
    const uint8_t* records = tables + 8 * n;
    uint32_t recordBytes = m - 8 * n;
    list.ids.resize(n);
    list.records.resize(n);
    if (n) std::memcpy(list.ids.data(), tables, 4 * n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t offset, size;
        std::memcpy(&offset, tables + 4 * n + 4 * i, 4);
        if (offset > recordBytes || recordBytes - offset < 4) return false;
        std::memcpy(&size, records + offset, 4);
        if (size > recordBytes - offset - 4) return false;
        list.records[i].assign(records + offset + 4, records + offset + 4 + size);
        if (!FixUpHandlers(list.ids[i], list.records[i], codeBase)) return false;
    }
    return true;
}

} // namespace

int32_t UnitList::Find(uint32_t id) const {
    if (!IsValidId(id)) return -1;
    for (size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == id) return static_cast<int32_t>(i);
    return -1;
}

int32_t FindWindowIndex(const WindowList& windows, uint32_t id) {
    if (!IsValidId(id)) return -1;
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i]->id == id) return static_cast<int32_t>(i);
    return -1;
}

bool FixUpHandlers(uint32_t id, std::vector<uint8_t>& record, uint32_t codeBase) {
    uint32_t size = static_cast<uint32_t>(record.size());
    if (IsMenuItem(id)) {
        MenuItemView m;
        if (!m.Parse(record.data(), size)) return false;
        uint32_t h;
        std::memcpy(&h, m.handler, 4);
        h = Fixed(h, codeBase);
        std::memcpy(m.handler, &h, 4);
        return true;
    }
    UnitRecordView v;
    if (!v.Parse(record.data(), size)) return false;
    for (uint32_t i = 0; i < v.eventCount; ++i) {
        uint32_t h;
        std::memcpy(&h, v.events + 2 * i + 1, 4);
        h = Fixed(h, codeBase);
        std::memcpy(v.events + 2 * i + 1, &h, 4);
    }
    return true;
}

bool ReadTemplateSegment(const void* start, uint32_t length, uint32_t codeBase, WindowList& out) {
    SegmentReader in(start, length);
    uint32_t indexLength;
    if (!in.U32(indexLength) || indexLength % 8 != 0 || indexLength > in.Left()) return false;
    uint32_t count = indexLength / 8;
    WindowList windows;
    for (uint32_t i = 0; i < count; ++i) {
        windows.push_back(std::make_unique<WindowRecord>());
        if (!in.U32(windows.back()->id)) return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t slot;
        if (!in.U32(slot)) return false;
    }
    for (auto& w : windows)
        if (!in.U32(w->wordA) || !in.U32(w->wordB) || !in.Counted(w->text1) ||
            !in.Counted(w->text2) || !ReadUnitList(in, codeBase, w->units))
            return false;
    for (auto& w : windows)
        out.push_back(std::move(w));
    return true;
}

} // namespace st
