#include "controls_windows.h"

#include <cstdio>

#include "program_header.h"
#include "runtime_state.h"
#include "st/template_builder.h"
#include "st/units.h"

extern "C" IMAGE_DOS_HEADER __ImageBase; // the code base: every handler lies above it

namespace controls {

Seen seen;

namespace {

extern "C" void OnPlainClick() {
    ++seen.plainClicks;
}
extern "C" void OnCheckClick() {
    ++seen.checkClicks;
    seen.checkedInHandler = Get(Check, 18);
}

// GCC 12 at -O3 sees a false overflow in the writer's growth when many
// writes are inlined into one routine; one routine for a run of words avoids it.
[[gnu::noinline]] void Words(st::PropertyWriter& w, std::initializer_list<int32_t> values) {
    for (int32_t v : values)
        w.I32(v);
}

// Blocks written field by field in the stored order, not by the types' own
// code: a type reading its fields in another order fails these tests.
std::vector<uint8_t> DefaultButtonBlock() {
    st::PropertyWriter w;
    Words(w, {1, 1, 5, -3}); // version, default button, alignments above and below the range
    w.Bytes({});
    w.Bytes({});
    w.Text("确定(&O)");
    return w.Take();
}

std::vector<uint8_t> OldCheckBlock() {
    st::PropertyWriter w;
    // Version 1 (no data source and column): push-like, flat, box right,
    // alignments, colours, checked.
    Words(w, {1, 0, 0, 1, 2, 0, 0x0000FF, 0x00FFFFFF, 1});
    w.Bytes({});
    w.Bytes({});
    w.Text("旧版");
    return w.Take();
}

std::vector<uint8_t> LinkBlock(int32_t kind, const std::string& caption, const std::string& email,
                               const std::string& web) {
    st::PropertyWriter w;
    // Version, kind, text, opened, hover and background colours, border.
    Words(w, {1, kind, 0xFF0000, 0x000080, 0xFF9933, static_cast<int32_t>(st::DefaultColour), 0});
    w.Bytes({});
    w.Text(caption);
    w.Text(email);
    w.Text(web);
    return w.Take();
}

std::vector<uint8_t> DialogBlock() {
    st::PropertyWriter w;
    Words(w, {1, 1, 0}); // version, save mode, initial filter
    // Create prompt, file must exist, overwrite prompt, folder must exist, keep directory.
    Words(w, {0, 1, 1, 1, 0});
    // Font colour, bold, italic, strike-out, underline, size, help command and topic.
    Words(w, {0, 0, 0, 0, 0, 0, 0, 0});
    for (const char* t : {"", "", "MP3|*.MP3", "", "MP3", "", ""})
        w.Text(t); // title, file name, filter, folder, extension, face, help file
    return w.Take();
}

} // namespace

std::vector<uint8_t> TestSegment(const void* base) {
    auto at = [base](auto fn) { return st::HandlerOffset(base, fn); };
    const uint32_t visibleStop = st::UnitFlag::Visible | st::UnitFlag::TabStop;
    st::WindowDescription w;
    w.id = W;
    st::UnitDescription& self = w.Add(0x06010000, st::UnitType::Window);
    self.SetGeometry(60, 60, 420, 260).flags = st::UnitFlag::Visible;
    w.Add(Plain, st::UnitType::Button, "按钮1")
        .SetGeometry(10, 10, 80, 30)
        .On(0, at(OnPlainClick))
        .flags = visibleStop;
    w.Add(Default, st::UnitType::Button, "按钮2").SetGeometry(100, 10, 80, 30).flags = visibleStop;
    w.units.back().properties = DefaultButtonBlock();
    w.Add(Check, st::UnitType::CheckBox, "选择框1")
        .SetGeometry(10, 50, 120, 20)
        .On(0, at(OnCheckClick))
        .flags = visibleStop;
    w.Add(OldCheck, st::UnitType::CheckBox, "选择框2").SetGeometry(140, 50, 120, 20).flags =
        visibleStop;
    w.units.back().properties = OldCheckBlock();
    w.Add(WebLink, st::UnitType::HyperLinker, "超级链接框1").SetGeometry(10, 80, 150, 24).flags =
        st::UnitFlag::Visible;
    w.units.back().properties = LinkBlock(1, "链接", "", kWebAddress);
    w.Add(EmptyLink, st::UnitType::HyperLinker, "超级链接框2").SetGeometry(170, 80, 150, 24).flags =
        st::UnitFlag::Visible;
    w.units.back().properties = LinkBlock(0, "", "", "");
    w.Add(Dialog, st::UnitType::CommonDialog, "通用对话框1").SetGeometry(10, 110, 24, 16);
    w.units.back().properties = DialogBlock();
    return st::BuildTemplateSegment({w});
}

HWND LoadTestWindow() {
    testing::StartRuntimeOnce();
    // A run-time error ends the test program: say which, without a box.
    st::Runtime().errorHook = [](int32_t code, const char* text) -> int32_t {
        std::fprintf(stderr, "run-time error %d: %s\n", static_cast<int>(code), text);
        return 1;
    };
    seen.Clear();
    return testing::LoadStartWindow(W);
}

} // namespace controls

namespace {
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};
// Built before the header that points at it (same file, so in this order).
const std::vector<uint8_t> kSegment = controls::TestSegment(&__ImageBase);
} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord = testing::ProgramHeaderOf(
    {.codeBase = &__ImageBase, .windows = &kSegment, .libraries = kLibraries});
