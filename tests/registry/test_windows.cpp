#include "test_windows.h"

#include <cstdio>
#include <cstring>

#include "st/units.h"
#include "test_units.h"

namespace testwindows {

std::vector<std::string> trace;
uint32_t received[24];
int32_t idleAnswers = 0;

namespace {

extern "C" void OnWindowEvent0() {
    trace.push_back("A0");
}
extern "C" void OnWindowEvent3() {
    trace.push_back("A3");
}
extern "C" void OnWindowEvent4() {
    trace.push_back("A4");
}
extern "C" void OnProbe() {
    trace.push_back("probe");
}
extern "C" void OnIdle(st::HandlerResult* result, uint32_t milliseconds) {
    (void)milliseconds;
    trace.push_back("idle");
    result->Report(idleAnswers > 0 ? 1 : 0);
    if (idleAnswers > 0) --idleAnswers;
}
extern "C" void OnResult(st::HandlerResult* result, uint32_t a, uint32_t b) {
    trace.push_back("result");
    result->Report(a + b);
}
extern "C" void OnTyped(st::HandlerResult* result, uint32_t w0, uint32_t w1, uint32_t w2,
                        uint32_t w3, uint32_t w4, uint32_t w5, uint32_t w6, uint32_t w7,
                        uint32_t w8, uint32_t w9, uint32_t w10, uint32_t w11) {
    uint32_t words[12] = {w0, w1, w2, w3, w4, w5, w6, w7, w8, w9, w10, w11};
    std::memcpy(received, words, sizeof words);
    trace.push_back("typed");
    result->Report(0x11111111, 0x22222222);
}
extern "C" void OnPlain(st::HandlerResult*, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                        uint32_t e, uint32_t f) {
    uint32_t words[6] = {a, b, c, d, e, f};
    std::memcpy(received, words, sizeof words);
    trace.push_back("plain");
}

std::vector<uint8_t> Block(int32_t number, const std::string& text) {
    testunits::TestProperties p;
    p.number = number;
    p.text = text;
    return testunits::PropertyBlock(p);
}

} // namespace

std::vector<st::WindowDescription> Windows(const void* base) {
    using testunits::HiddenType, testunits::QuietType, testunits::StaticType, testunits::WindowType,
        testunits::kProbeEvent;
    auto at = [base](auto fn) { return st::HandlerOffset(base, fn); };
    std::vector<st::WindowDescription> all;

    st::WindowDescription& a = all.emplace_back();
    a.id = A;
    a.wordA = 0x00B82144;
    a.wordB = 0x1901002B;
    a.text1 = "说明";
    st::UnitDescription& self = a.Add(Self, WindowType);
    self.SetGeometry(100, 100, 300, 200).flags = st::UnitFlag::Visible;
    self.On(0, at(OnWindowEvent0)).On(3, at(OnWindowEvent3)).On(4, at(OnWindowEvent4));
    self.On(kProbeEvent, at(OnProbe)).On(7, at(OnIdle));
    self.properties = Block(0, "测试窗口A");
    st::UnitDescription& l1 = a.Add(Label1, StaticType, "标签1");
    l1.SetGeometry(10, 10, 80, 20).flags = st::UnitFlag::Visible | st::UnitFlag::TabStop;
    l1.tag = "标签一";
    l1.tabOrder = 2;
    l1.On(kProbeEvent, at(OnProbe)).On(kResultEvent, at(OnResult));
    l1.On(kNoHandlerEvent, st::NoHandler).On(kTypedEvent, at(OnTyped)).On(kPlainEvent, at(OnPlain));
    l1.properties = Block(7, "一号");
    st::UnitDescription& l2 = a.Add(Label2, StaticType, "标签2");
    l2.SetGeometry(10, 40, 80, 20).flags = st::UnitFlag::Visible | st::UnitFlag::Disabled;
    l2.SetPointer(32649); // IDC_HAND
    l2.On(kProbeEvent, at(OnProbe));
    l2.properties = Block(2, "二号");
    st::UnitDescription& h = a.Add(Hidden1, HiddenType, "隐藏1");
    h.SetGeometry(0, 0, 16, 16).flags = st::UnitFlag::Visible;
    h.On(kProbeEvent, at(OnProbe));
    st::UnitDescription& l3 = a.Add(Label3, StaticType, "标签3");
    l3.SetGeometry(10, 70, 80, 20).eventSource = Label1; // uses 标签1's bindings
    l3.On(kResultEvent, at(OnProbe));
    st::UnitDescription& q = a.Add(Quiet1, QuietType, "安静1");
    q.SetGeometry(10, 100, 80, 20).flags = st::UnitFlag::Visible;
    q.On(kResultEvent, at(OnResult));
    st::UnitDescription& m = a.Add(Menu1, st::UnitType::Menu, "菜单1");
    m.caption = "文件";
    m.menuHandler = at(OnProbe);

    st::WindowDescription& b = all.emplace_back();
    b.id = B;
    b.Add(Self, st::UnitType::Window).SetGeometry(5, 6, 333, 222).flags = st::UnitFlag::Visible;
    b.Add(BButton, st::UnitType::Button, "按钮B").SetGeometry(1, 2, 77, 33).flags =
        st::UnitFlag::Visible;

    st::WindowDescription& broken = all.emplace_back();
    broken.id = Broken;
    broken.Add(Self, WindowType).SetGeometry(0, 0, 100, 100);
    broken.Add(BrokenUnit, testunits::BrokenType, "坏1").SetGeometry(0, 0, 10, 10);

    st::WindowDescription& e = all.emplace_back();
    e.id = E;
    e.Add(Self, st::UnitType::Window).SetGeometry(450, 100, 200, 150).flags = st::UnitFlag::Visible;
    e.Add(ECheck, st::UnitType::CheckBox, "选择框E").SetGeometry(5, 5, 60, 20).flags =
        st::UnitFlag::Visible;
    return all;
}

} // namespace testwindows
