// Window templates from readable descriptions: the exact stored bytes.
#include "st/template_builder.h"

#include <cstring>

namespace st {

namespace {

bool IsMenuItem(uint32_t id) {
    return ((id >> 24) & 0xFu) == 6 && (id >> 28) == 2;
}

class Bytes {
  public:
    void U32(uint32_t v) { Raw(&v, 4); }
    void ZText(const std::string& s) {
        // A stored zero-terminated text ends at its first zero byte.
        Raw(s.c_str(), std::strlen(s.c_str()) + 1);
    }
    void Counted(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        Raw(s.data(), s.size());
    }
    void Zeros(size_t n) { data.insert(data.end(), n, 0); }
    void Raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        data.insert(data.end(), b, b + n);
    }
    void Block(const std::vector<uint8_t>& b) { data.insert(data.end(), b.begin(), b.end()); }
    std::vector<uint8_t> data;
};

int32_t Unfix(uint32_t stored, const uint32_t* codeBase) {
    if (!codeBase) return static_cast<int32_t>(stored);
    return stored == 0 ? NoHandler : static_cast<int32_t>(stored - *codeBase);
}

} // namespace

int32_t HandlerOffset(const void* codeBase, const void* handler) {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(handler) -
                                reinterpret_cast<uintptr_t>(codeBase));
}

UnitDescription& UnitDescription::SetPointer(uint32_t cursorId,
                                             const std::vector<uint8_t>& custom) {
    mousePointer.resize(4);
    std::memcpy(mousePointer.data(), &cursorId, 4);
    mousePointer.insert(mousePointer.end(), custom.begin(), custom.end());
    return *this;
}

bool UnitDescription::operator==(const UnitDescription& o) const {
    if (id != o.id || type != o.type || eventSource != o.eventSource || name != o.name ||
        remark != o.remark || flags != o.flags)
        return false;
    if (IsMenuItem(id))
        return menuWords[0] == o.menuWords[0] && menuWords[1] == o.menuWords[1] &&
               caption == o.caption && menuHandler == o.menuHandler;
    return left == o.left && top == o.top && width == o.width && height == o.height &&
           parent == o.parent && children == o.children && mousePointer == o.mousePointer &&
           tag == o.tag && reserved == o.reserved && tabOrder == o.tabOrder && events == o.events &&
           properties == o.properties;
}

UnitDescription& WindowDescription::Add(uint32_t unitId, uint32_t type, const std::string& name) {
    UnitDescription& u = units.emplace_back();
    u.id = unitId;
    u.type = type;
    u.name = name;
    return u;
}

std::vector<uint8_t> UnitRecordBytes(const UnitDescription& u) {
    Bytes b;
    b.U32(u.type);
    b.U32(u.eventSource);
    b.Zeros(16);
    b.ZText(u.name);
    b.ZText(u.remark);
    b.U32(0); // object slot
    if (IsMenuItem(u.id)) {
        b.U32(u.menuWords[0]);
        b.U32(u.menuWords[1]);
        b.U32(u.flags);
        b.ZText(u.caption);
        b.U32(static_cast<uint32_t>(u.menuHandler));
        return std::move(b.data);
    }
    for (int32_t v : {u.left, u.top, u.width, u.height})
        b.U32(static_cast<uint32_t>(v));
    b.U32(0); // cursor slot
    b.U32(u.parent);
    b.U32(static_cast<uint32_t>(u.children.size()));
    for (uint32_t c : u.children)
        b.U32(c);
    b.U32(static_cast<uint32_t>(u.mousePointer.size()));
    b.Block(u.mousePointer);
    b.ZText(u.tag);
    b.U32(u.reserved);
    b.U32(u.flags);
    b.U32(u.tabOrder);
    b.U32(static_cast<uint32_t>(u.events.size()));
    for (const EventBinding& e : u.events) {
        b.U32(static_cast<uint32_t>(e.event));
        b.U32(static_cast<uint32_t>(e.handler));
    }
    b.Zeros(20);
    b.Block(u.properties);
    return std::move(b.data);
}

std::vector<uint8_t> BuildTemplateSegment(const std::vector<WindowDescription>& windows) {
    Bytes b;
    b.U32(static_cast<uint32_t>(8 * windows.size()));
    for (const WindowDescription& w : windows)
        b.U32(w.id);
    b.Zeros(4 * windows.size()); // the record slots, filled at run time
    for (const WindowDescription& w : windows) {
        b.U32(w.wordA);
        b.U32(w.wordB);
        b.Counted(w.text1);
        b.Counted(w.text2);
        Bytes ids, offsets, records;
        for (const UnitDescription& u : w.units) {
            std::vector<uint8_t> record = UnitRecordBytes(u);
            ids.U32(u.id);
            offsets.U32(static_cast<uint32_t>(records.data.size()));
            records.U32(static_cast<uint32_t>(record.size()));
            records.Block(record);
        }
        b.U32(static_cast<uint32_t>(w.units.size()));
        b.U32(static_cast<uint32_t>(ids.data.size() + offsets.data.size() + records.data.size()));
        b.Block(ids.data);
        b.Block(offsets.data);
        b.Block(records.data);
    }
    return std::move(b.data);
}

bool DescribeUnitRecord(uint32_t id, const uint8_t* record, uint32_t length, UnitDescription& out,
                        const uint32_t* codeBase) {
    std::vector<uint8_t> copy(record, record + length);
    out = UnitDescription{};
    out.id = id;
    if (IsMenuItem(id)) {
        MenuItemView m;
        if (!m.Parse(copy.data(), length)) return false;
        out.type = m.type;
        out.eventSource = m.eventSource;
        out.name = m.name;
        out.remark = m.remark;
        out.menuWords[0] = m.words[0];
        out.menuWords[1] = m.words[1];
        out.flags = m.Flags();
        out.caption = m.caption;
        uint32_t handler;
        std::memcpy(&handler, m.handler, 4);
        out.menuHandler = Unfix(handler, codeBase);
        return true;
    }
    UnitRecordView v;
    if (!v.Parse(copy.data(), length)) return false;
    out.type = v.type;
    out.eventSource = v.eventSource;
    out.name = v.name;
    out.remark = v.remark;
    std::memcpy(&out.left, v.geometry, 16);
    out.parent = v.parent;
    out.children.resize(v.childCount);
    if (v.childCount) std::memcpy(out.children.data(), v.children, 4 * v.childCount);
    out.mousePointer.assign(v.pointer, v.pointer + v.pointerLength);
    out.tag = v.tag;
    std::memcpy(&out.reserved, copy.data() + v.afterTagOffset, 4);
    out.flags = v.Flags();
    out.tabOrder = v.tabOrder;
    for (uint32_t i = 0; i < v.eventCount; ++i) {
        uint32_t pair[2];
        std::memcpy(pair, v.events + 2 * i, 8);
        out.events.push_back({static_cast<int32_t>(pair[0]), Unfix(pair[1], codeBase)});
    }
    out.properties.assign(v.propertyBlock, v.propertyBlock + v.propertyLength);
    return true;
}

} // namespace st
