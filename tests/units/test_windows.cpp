#include "test_windows.h"

#include "st/unit_base.h"
#include "st/window_unit.h"
#include "unit_access.h"

namespace testwindows {

Hooks hooks;

extern "C" void TestWindowsCodeBase() {}

namespace {

void OnLoaded() {
    ++hooks.loaded;
    hooks.windowEvents.push_back(0);
    if (hooks.onLoaded) hooks.onLoaded();
}
void OnMoved() {
    ++hooks.moved;
    hooks.windowEvents.push_back(3);
}
void OnSized() {
    hooks.windowEvents.push_back(4);
}
void OnActivated() {
    hooks.windowEvents.push_back(5);
}
void OnFirstActivation() {
    hooks.windowEvents.push_back(8);
}
void OnShown() {
    hooks.windowEvents.push_back(10);
}
void OnWindowFocus() {
    hooks.windowEvents.push_back(st::CommonEvent::FocusReceived);
}
void OnBareClose() {
    if (hooks.loadMainOnBareClose) st::Services.LoadStartWindow(kMain);
}
void OnRadio2Focus() {
    if (hooks.destroyOnRadio2Focus)
        if (st::UnitBase* w = WindowObject(kMain)) DestroyWindow(w->hwnd);
}
void OnRadio2() {
    ++hooks.radio2;
}
void OnClose(st::HandlerResult* result) {
    ++hooks.closeAsked;
    if (hooks.closeAnswer) result->Report(*hooks.closeAnswer);
}
void OnDestroy() {
    ++hooks.destroyed;
}
void OnIdle(st::HandlerResult* result, uint32_t milliseconds) {
    ++hooks.idle;
    if (hooks.onIdle) result->Report(hooks.onIdle(milliseconds));
}
void OnOk() {
    ++hooks.ok;
}
void OnCancel() {
    ++hooks.cancel;
}
void OnLabel() {
    ++hooks.label;
    if (!hooks.closeWhileLabelRuns) return;
    // A long handler that keeps the window answering, as a fetch does, while
    // the user closes the window.
    st::UnitBase* w = WindowObject(kMain);
    if (!w) return;
    HWND window = w->hwnd;
    PostMessageA(window, WM_CLOSE, 0, 0);
    st::CallRuntime(st::CallbackCode::ProcessMessages);
    hooks.labelSawWindowGone = !IsWindow(window);
}
void OnCheck() {
    ++hooks.check;
}
void OnOkDown(st::HandlerResult* result, uint32_t, uint32_t, uint32_t) {
    ++hooks.okDowns;
    if (hooks.destroyOnOkDown) {
        if (st::UnitBase* w = WindowObject(kMain)) DestroyWindow(w->hwnd);
    }
    if (hooks.okDownAnswer) result->Report(*hooks.okDownAnswer);
}
void OnEditChar(st::HandlerResult* result, uint32_t character) {
    if (character == 'b') result->Report(0x41);
    if (character == 'q') result->Report(0);
}

template <typename F> int32_t Offset(F f) {
    return st::HandlerOffset(reinterpret_cast<const void*>(&TestWindowsCodeBase),
                             reinterpret_cast<const void*>(f));
}

std::vector<uint8_t> WindowBlock(int32_t border, const char* caption) {
    st::WindowProperties p;
    p.caption = caption;
    p.border = border;
    p.background = kBackground;
    p.position = 1;
    return st::WritePropertyBlock(p);
}

} // namespace

std::vector<st::WindowDescription> TestWindows() {
    const uint32_t stop = st::UnitFlag::Visible | st::UnitFlag::TabStop;
    st::WindowDescription main;
    main.id = kMain;
    st::UnitDescription& self = main.Add(kSelf, st::UnitType::Window);
    self.SetGeometry(50, 60, kWidth, kHeight);
    self.flags = st::UnitFlag::Visible;
    self.properties = WindowBlock(2, "单元测试窗口");
    self.On(0, Offset(&OnLoaded)).On(1, Offset(&OnClose)).On(2, Offset(&OnDestroy));
    self.On(3, Offset(&OnMoved)).On(7, Offset(&OnIdle)).On(4, Offset(&OnSized));
    self.On(5, Offset(&OnActivated)).On(8, Offset(&OnFirstActivation)).On(10, Offset(&OnShown));
    self.On(st::CommonEvent::FocusReceived, Offset(&OnWindowFocus));
    auto unit = [&](uint32_t id, uint32_t type, const char* name, const char* caption, uint32_t tab,
                    uint32_t flags, int32_t y, bool isDefault = false) {
        st::UnitDescription& u = main.Add(id, type, name);
        u.SetGeometry(20, y, 140, 22);
        u.flags = flags;
        u.tabOrder = tab;
        u.properties = testblocks::CaptionBlock(type, caption, isDefault);
        return std::ref(u);
    };
    unit(kOk, st::UnitType::Button, "按钮1", "确定(&O)", 4, stop, 10, true)
        .get()
        .On(0, Offset(&OnOk))
        .On(-1, Offset(&OnOkDown));
    unit(kCancel, st::UnitType::Button, "按钮2", "取消(&C)", 2, stop, 40)
        .get()
        .On(0, Offset(&OnCancel));
    unit(kEdit, st::UnitType::EditBox, "编辑框1", "", 1, stop, 70)
        .get()
        .On(-11, Offset(&OnEditChar));
    unit(kLabel, testunits::LabelType, "标签1", "名称(&N)", 0, st::UnitFlag::Visible, 100)
        .get()
        .On(0, Offset(&OnLabel));
    unit(kHidden, st::UnitType::Button, "按钮3", "隐藏", 3, st::UnitFlag::TabStop, 130);
    unit(kDisabled, st::UnitType::Button, "按钮4", "禁止", 5, stop | st::UnitFlag::Disabled, 160);
    unit(kLink, st::UnitType::HyperLinker, "链接1", "链接", 6, stop, 190);
    unit(kWindowless, st::UnitType::CommonDialog, "无窗口1", "", 7, stop, 0);
    unit(kCheck, st::UnitType::CheckBox, "选择框1", "选择(&X)", 8, stop, 220)
        .get()
        .On(0, Offset(&OnCheck));
    // Radio units last in the Tab order, right of the others.
    unit(kRadio1, testunits::RadioType, "单选框1", "甲", 9, stop, 10)
        .get()
        .SetGeometry(200, 10, 100, 22);
    unit(kRadio2, testunits::RadioType, "单选框2", "乙", 10, stop, 40)
        .get()
        .SetGeometry(200, 40, 100, 22)
        .On(st::CommonEvent::FocusReceived, Offset(&OnRadio2Focus))
        .On(0, Offset(&OnRadio2));

    st::WindowDescription bare;
    bare.id = kBare;
    st::UnitDescription& own = bare.Add(kSelf, st::UnitType::Window);
    own.SetGeometry(0, 0, 200, 120);
    own.flags = st::UnitFlag::Visible;
    own.properties = WindowBlock(0, "无边框");
    own.On(1, Offset(&OnBareClose));
    return {main, bare};
}

const st::LibraryRecord* const kLibraries[2] = {&st::CoreLibrary, &testunits::Library};

st::UnitBase* WindowObject(uint32_t window, uint32_t unit) {
    return testing::UnitObject(window, unit);
}

} // namespace testwindows
