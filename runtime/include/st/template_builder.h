// Window templates written as readable C++ instead of bytes.
//
// A WindowDescription lists a window and its units; BuildTemplateSegment turns
// a list of them into the exact bytes of a template segment (window index,
// window records, unit lists, unit records), ready for the ProgramHeader.
//
//   st::WindowDescription w;
//   w.id = 0x52010001;
//   st::UnitDescription& self = w.Add(0x06010000, st::UnitType::Window);  // unit 0: the window
//   self.SetGeometry(50, 50, 559, 261);
//   self.flags = st::UnitFlag::Visible;
//   self.On(0, st::HandlerOffset(codeBase, &OnCreated));                  // or st::NoHandler
//   self.properties = MyWindowProperties();   // bytes made with st::PropertyWriter
//   st::UnitDescription& button = w.Add(0x1601013C, st::UnitType::Button, "按钮1");
//   ...
//   std::vector<uint8_t> segment = st::BuildTemplateSegment({w});
//
// Handlers: a handler is named by its offset from the program's code base
// (ProgramHeader::codeBase); HandlerOffset computes it from the handler's
// address. NoHandler (-1) stores "no handler"; offset 0 is the code base
// itself, a valid handler. After loading, the runtime keeps code base + offset.
//
// How a program supplies its segment: the ProgramHeader is constant, but its
// initialiser may be dynamic. Build the bytes into a static vector defined
// before the header in the same source file, and point the header at it; the
// bytes exist before the entry routine runs StartRuntime:
//
//   static const std::vector<uint8_t> kSegment = st::BuildTemplateSegment(Windows());
//   extern "C" const st::ProgramHeader ProgramHeaderRecord = {
//       {3, 0, 1}, codeBase, ..., kSegment.data(), uint32_t(kSegment.size()), ...};
//
// Event handlers are called by the runtime as cdecl routines whose first
// parameter is the st::HandlerResult of the event (st/services.h), followed by
// the event's argument words; a handler that neither reads arguments nor
// reports a result may be declared without parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "st/template_record.h"

namespace st {

inline constexpr int32_t NoHandler = -1;

// Offset of a handler's entry from the code base.
int32_t HandlerOffset(const void* codeBase, const void* handler);
template <typename R, typename... A>
int32_t HandlerOffset(const void* codeBase, R (*handler)(A...)) {
    return HandlerOffset(codeBase, reinterpret_cast<const void*>(handler));
}

struct EventBinding {
    int32_t event = 0;
    int32_t handler = NoHandler; // offset from the code base
    bool operator==(const EventBinding&) const = default;
};

// One unit record. Menu items (ids with bits 24-27 = 6 and 28-31 = 2) use
// type, eventSource, name, remark, menuWords, flags (bit 0 hidden), caption
// and menuHandler; every other unit uses the rest.
struct UnitDescription {
    uint32_t id = 0;
    uint32_t type = 0; // data type id
    uint32_t eventSource = 0;
    std::string name, remark;
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t parent = 0;
    std::vector<uint32_t> children; // 0 separates one container page from the next
    std::vector<uint8_t> mousePointer = std::vector<uint8_t>(4, 0);
    std::string tag;
    uint32_t reserved = 0; // field 13, carried as it is
    uint32_t flags = 0;    // UnitFlag bits
    uint32_t tabOrder = 0;
    std::vector<EventBinding> events;
    std::vector<uint8_t> properties; // the type's PropertyBlock

    uint32_t menuWords[2] = {0, 0};
    std::string caption;
    int32_t menuHandler = NoHandler;

    UnitDescription& SetGeometry(int32_t l, int32_t t, int32_t w, int32_t h) {
        left = l, top = t, width = w, height = h;
        return *this;
    }
    UnitDescription& On(int32_t event, int32_t handlerOffset) {
        events.push_back({event, handlerOffset});
        return *this;
    }
    // The mouse-pointer value: a system cursor identifier (0 = default),
    // optionally followed by custom cursor data.
    UnitDescription& SetPointer(uint32_t cursorId, const std::vector<uint8_t>& custom = {});
    bool operator==(const UnitDescription& o) const;
};

struct WindowDescription {
    uint32_t id = 0;
    uint32_t wordA = 0, wordB = 0; // carried, not interpreted
    std::string text1, text2;
    std::vector<UnitDescription> units; // units[0] is the window itself

    UnitDescription& Add(uint32_t unitId, uint32_t type, const std::string& name = {});
    bool operator==(const WindowDescription&) const = default;
};

// The bytes of one unit record, without its length word.
std::vector<uint8_t> UnitRecordBytes(const UnitDescription& unit);
// The whole template segment.
std::vector<uint8_t> BuildTemplateSegment(const std::vector<WindowDescription>& windows);

// Reads a stored record back into a description. When codeBase is given the
// handlers are taken as fixed up by the loader (0 = none, else code base +
// offset) and turned back into offsets; otherwise they are read as stored.
bool DescribeUnitRecord(uint32_t id, const uint8_t* record, uint32_t length, UnitDescription& out,
                        const uint32_t* codeBase = nullptr);

} // namespace st
