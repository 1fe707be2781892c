// The main window's stored template: the exact segment the runtime loads.
#include <doctest.h>

#include <cstring>
#include <string>

#include "handler_table.h"
#include "main_window.h"
#include "template_segment.h"

namespace {

constexpr uint32_t kCodeBase = 0x00401000;

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

struct ExpectedUnit {
    uint32_t id, type;
    const char* name;
    int32_t left, top, width, height;
    uint32_t flags;
    int32_t clickHandler; // event 0's handler offset, -2 = no binding at all
    uint32_t length, offset;
};

constexpr int32_t kUnbound = -2;
constexpr int32_t At(app::Handler h) {
    return app::HandlerOffset(h);
}

const ExpectedUnit kUnits[] = {
    {0x06010000, 0x00010001, "", 50, 50, 559, 261, 1, At(app::Handler::OnMainWindowCreated), 255,
     0},
    {0x16010163, 0x0001001D, "超级链接框1", 445, 195, 96, 24, 1, kUnbound, 207, 259},
    {0x1601015F, 0x0001001F, "通用对话框1", 24, 200, 24, 16, 0, kUnbound, 218, 470},
    {0x1601015B, 0x0001000C, "选择框1", 424, 200, 120, 16, 5, kUnbound, 166, 692},
    {0x1601015A, 0x0001000B, "按钮3", 320, 194, 80, 30, 7, At(app::Handler::OnSaveAsClick), 150,
     862},
    {0x1601013D, 0x0001000B, "按钮2", 205, 194, 80, 30, 7, At(app::Handler::OnPlayClick), 148,
     1016},
    {0x1601013C, 0x0001000B, "按钮1", 87, 194, 80, 30, 5, At(app::Handler::OnSynthesizeClick), 152,
     1168},
    {0x1601013B, 0x00010005, "编辑框1", 2, 3, 550, 181, 5, At(app::Handler::ResetAudioState), 686,
     1324},
};
constexpr size_t kUnitCount = sizeof kUnits / sizeof kUnits[0];

// The last text of a block read backwards is awkward; walk the blocks instead.
std::string TextAt(const std::vector<uint8_t>& block, size_t at) {
    uint32_t n = WordAt(block, at);
    return std::string(reinterpret_cast<const char*>(block.data() + at + 4), n);
}

} // namespace

TEST_CASE("the main window's segment: 2,114 bytes, eight records where the loader expects them") {
    const std::vector<uint8_t>& segment = app::MainWindowSegment();
    REQUIRE(segment.size() == 2114);

    // Window index, the window's two words and two empty texts, then the unit list.
    CHECK(WordAt(segment, 0) == 8);
    CHECK(WordAt(segment, 4) == app::kMainWindow);
    CHECK(WordAt(segment, 12) == 0x00B82144);
    CHECK(WordAt(segment, 16) == 0x1901002B);
    const size_t list = 28;
    REQUIRE(WordAt(segment, list) == kUnitCount);
    CHECK(WordAt(segment, list + 4) == segment.size() - list - 8);
    const size_t ids = list + 8, offsets = ids + 4 * kUnitCount, records = offsets + 4 * kUnitCount;
    for (size_t i = 0; i < kUnitCount; ++i) {
        CAPTURE(i);
        CHECK(WordAt(segment, ids + 4 * i) == kUnits[i].id);
        CHECK(WordAt(segment, offsets + 4 * i) == kUnits[i].offset);
        CHECK(WordAt(segment, records + kUnits[i].offset) == kUnits[i].length);
    }

    st::WindowList windows;
    REQUIRE(st::ReadTemplateSegment(segment.data(), static_cast<uint32_t>(segment.size()),
                                    kCodeBase, windows));
    REQUIRE(windows.size() == 1);
    const st::UnitList& units = windows[0]->units;
    REQUIRE(units.ids.size() == kUnitCount);
    for (size_t i = 0; i < kUnitCount; ++i) {
        const ExpectedUnit& e = kUnits[i];
        CAPTURE(e.name);
        st::UnitDescription u;
        REQUIRE(st::DescribeUnitRecord(units.ids[i], units.records[i].data(),
                                       static_cast<uint32_t>(units.records[i].size()), u,
                                       &kCodeBase));
        CHECK(u.type == e.type);
        CHECK(u.name == e.name);
        CHECK((u.left == e.left && u.top == e.top && u.width == e.width && u.height == e.height));
        CHECK(u.flags == e.flags);
        CHECK((u.remark.empty() && u.tag.empty() && u.parent == 0 && u.children.empty()));
        CHECK(u.mousePointer == std::vector<uint8_t>(4, 0));
        CHECK((u.tabOrder == 0 && u.eventSource == 0));
        if (e.clickHandler == kUnbound) {
            CHECK(u.events.empty());
        } else {
            REQUIRE(u.events.size() == 1);
            CHECK(u.events[0] == st::EventBinding{0, e.clickHandler});
        }
    }
}

TEST_CASE("the main window's texts, byte for byte") {
    st::WindowDescription w = app::MainWindowDescription();
    REQUIRE(w.units.size() == kUnitCount);

    // Window block: version 6, eighteen words, class name, three byte sets, caption.
    const std::vector<uint8_t>& window = w.units[0].properties;
    CHECK(WordAt(window, 0) == 6);
    CHECK(WordAt(window, 4 * 7) == 1);  // position: centred on the screen
    CHECK(WordAt(window, 4 * 11) == 1); // Esc closes the window
    const std::string caption = TextAt(window, 4 * 19 + 4 + 12);
    CHECK(caption.size() == 44);
    CHECK(caption == "普通话语音合成工具 - 输入文字即可生成MP3音频");

    // Link block: seven words, empty font, caption, empty mail address, web address.
    const std::vector<uint8_t>& link = w.units[1].properties;
    CHECK(TextAt(link, 32) == "自动保存音频文件");
    const std::string address = TextAt(link, 32 + 4 + 16 + 4);
    CHECK(address.size() == 33);
    CHECK(address == "http://127.0.0.1:8925/readme.html");

    // Edit box block: the content after the 60-byte font, one line, no breaks.
    const std::vector<uint8_t>& edit = w.units[7].properties;
    const size_t font = 4 * 10 + 2 + 4 * 6;
    REQUIRE(WordAt(edit, font) == 60);
    CHECK(static_cast<int32_t>(WordAt(edit, font + 4)) == -19);
    CHECK(edit[font + 4 + 23] == 134); // GB2312
    const std::string content = TextAt(edit, font + 64);
    CHECK(content.size() == 426);
    CHECK(content.find_first_of("\r\n") == std::string::npos);
    CHECK(content.rfind("注意，不要输入换行，换行后不支持！") == content.size() - 34);
    CHECK(content.find("说明：" + std::string(49, ' ') + "1、输入文本") != std::string::npos);
}
