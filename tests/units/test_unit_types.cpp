#include "test_unit_types.h"

#include <set>

namespace testunits {

int usedAfterRelease = 0;

namespace {
std::set<const TestUnit*>& Live() {
    static std::set<const TestUnit*> live;
    return live;
}
} // namespace

TestUnit::TestUnit() {
    Live().insert(this);
}

TestUnit::~TestUnit() {
    Live().erase(this);
}

int LiveUnits() {
    return static_cast<int>(Live().size());
}

bool TestProperties::Transfer(st::PropertyIO& io) {
    int32_t version;
    if (!st::TransferVersion(io, 1, version)) return false;
    io.Text(caption);
    io.I32(isDefault);
    return !io.Failed();
}

std::vector<uint8_t> TestBlock(const std::string& caption, bool isDefault) {
    TestProperties p;
    p.caption = caption;
    p.isDefault = isDefault;
    return st::WritePropertyBlock(p);
}

LRESULT TestUnit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) ++leftDowns;
    if (message == WM_CHAR) {
        ++chars;
        charsSeen += static_cast<char>(wParam);
    }
    return Unit::WindowProc(message, wParam, lParam);
}

bool TestUnit::OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
    RaiseEvent(0);
    // As a real button goes on after its click event: the object must still be there.
    if (Live().count(this))
        ++clicks;
    else
        ++usedAfterRelease;
    result = 0;
    return true;
}

namespace {

template <uint32_t TypeId>
st::UnitBase* Create(const void* block, int32_t length, uint32_t style, HWND parent,
                     uint32_t controlId, HMENU, int32_t left, int32_t top, int32_t width,
                     int32_t height, uint32_t windowId, uint32_t unitId, HWND, int32_t) {
    auto* unit = new TestUnit;
    if (!st::ReadPropertyBlock(unit->props, block, length)) {
        delete unit;
        return nullptr;
    }
    unit->type = TypeId;
    unit->windowId = windowId;
    unit->unitId = unitId;
    const char* cls = "STATIC";
    DWORD own = 0;
    switch (TypeId) {
    case Type::Button:
        cls = "BUTTON";
        own = unit->props.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        break;
    case Type::CheckBox:
        cls = "BUTTON";
        own = BS_CHECKBOX;
        break;
    case Type::Radio:
        cls = "BUTTON";
        own = BS_RADIOBUTTON;
        break;
    case Type::Edit:
        cls = "EDIT";
        own = ES_AUTOHSCROLL;
        break;
    default:
        own = SS_NOTIFY;
        break;
    }
    if (!unit->CreateUnitWindow(0, cls, unit->props.caption.c_str(),
                                (style & ~WS_VISIBLE) | own | WS_CHILD | WS_CLIPSIBLINGS, left, top,
                                width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId)))) {
        delete unit;
        return nullptr;
    }
    unit->ApplyFont({});
    return unit;
}

int32_t IsDefaultButton(st::UnitBase* unit) {
    return (GetWindowLongA(unit->hwnd, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

int32_t EditWantsKey(st::UnitBase*, uint32_t key) {
    return key == VK_RETURN;
}

template <uint32_t TypeId> void* Interface(int32_t entry) {
    switch (entry) {
    case st::UnitEntry::CreateUnit:
        return reinterpret_cast<void*>(static_cast<st::CreateUnitFn>(&Create<TypeId>));
    case st::UnitEntry::SaveUnitProperties:
        return reinterpret_cast<void*>(
            static_cast<st::SaveUnitPropertiesFn>(&st::SaveUnitProperties));
    case st::UnitEntry::IsDefaultButton:
        return TypeId == Type::Button
                   ? reinterpret_cast<void*>(static_cast<st::IsDefaultButtonFn>(&IsDefaultButton))
                   : nullptr;
    case st::UnitEntry::WantsKey:
        return TypeId == Type::Edit
                   ? reinterpret_cast<void*>(static_cast<st::WantsKeyFn>(&EditWantsKey))
                   : nullptr;
    default:
        return nullptr;
    }
}

const st::PropertyEntry kProperties[10] = {
    {"", "", "", st::PropertyKind::Integer, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Integer, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Integer, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Integer, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Text, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Logical, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Logical, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::MousePointer, 0xE000, nullptr},
    {"", "", "", st::PropertyKind::Text, 0x8000, nullptr},
    {"", "", "", st::PropertyKind::Logical, 0x8000, nullptr},
};

#define TEST_TYPE(name, flags, id)                                                                 \
    {                                                                                              \
        name, name, "", 0, nullptr, flags, nullptr, 0, nullptr, 10, kProperties, &Interface<id>,   \
            0, nullptr                                                                             \
    }
const st::TypeRecord kTypes[7] = {
    TEST_TYPE("TestButton", 0x80000840, Type::Button),
    TEST_TYPE("TestLabel", 0x80002040, Type::Label),
    TEST_TYPE("TestWindowless", 0x80008040, Type::Windowless),
    TEST_TYPE("TestLink", 0x80010040, Type::Link),
    TEST_TYPE("TestCheckBox", 0x80001040, Type::CheckBox),
    TEST_TYPE("TestRadio", 0x80000440, Type::Radio),
    TEST_TYPE("TestEdit", 0x80000040, Type::Edit),
};
#undef TEST_TYPE

} // namespace

const st::LibraryRecord TestUnitLibrary = {"testunits", "测试组件库", 7,      kTypes,
                                           0,           nullptr,      nullptr};

} // namespace testunits
