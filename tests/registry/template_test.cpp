// Window template segments: the builder's bytes read back by the runtime's
// segment reader, handler fix-up, framing failures and the search rules.
#include <doctest.h>

#include <cstring>

#include "st/template_builder.h"
#include "template_segment.h"

namespace {

constexpr uint32_t kCodeBase = 0x00401000;

std::vector<uint8_t> SomeProperties() {
    st::PropertyWriter w;
    w.I32(3);
    w.Text("编辑框的内容");
    w.I16(-2);
    w.Bytes({1, 2, 3});
    return w.Take();
}

std::vector<st::WindowDescription> Sample() {
    std::vector<st::WindowDescription> all(2);
    st::WindowDescription& a = all[0];
    a.id = 0x52010001;
    a.wordA = 0x00B82144;
    a.wordB = 0x1901002B;
    a.text2 = "文本二";
    st::UnitDescription& self = a.Add(0x06010000, 0x00010001);
    self.SetGeometry(50, 50, 559, 261).flags = 1;
    self.On(0, 0x10).On(3, st::NoHandler).On(4, 0); // offset 0: the code base itself
    self.properties = SomeProperties();
    st::UnitDescription& tab = a.Add(0x16010163, 0x0001001D, "超级链接框1");
    tab.SetGeometry(-5, 195, 96, 24).flags = 5;
    tab.remark = "备注";
    tab.parent = 0x1601015F;
    tab.children = {0x1601013C, 0, 0x1601013D};
    tab.SetPointer(32649, {0xAA, 0xBB, 0xCC});
    tab.tag = "标记";
    tab.reserved = 9;
    tab.tabOrder = 7;
    tab.eventSource = 0x1601013C;
    st::UnitDescription& menu = a.Add(0x26010106, 0x00010003, "菜单1");
    menu.caption = "文件(&F)";
    menu.menuWords[0] = 1;
    menu.menuWords[1] = 2;
    menu.flags = 4;
    menu.menuHandler = 0x20;
    a.Add(0x1601013B, 0x00010005, "编辑框1").SetGeometry(2, 3, 550, 181);

    st::WindowDescription& b = all[1];
    b.id = 0x52010002;
    b.Add(0x06010000, 0x00010001).SetGeometry(1, 2, 3, 4);
    return all;
}

uint32_t Word(const std::vector<uint8_t>& r, size_t at) {
    uint32_t v;
    std::memcpy(&v, r.data() + at, 4);
    return v;
}

} // namespace

TEST_CASE("a builder-made segment reads back to exactly its description") {
    std::vector<st::WindowDescription> sample = Sample();
    std::vector<uint8_t> segment = st::BuildTemplateSegment(sample);
    st::WindowList windows;
    REQUIRE(st::ReadTemplateSegment(segment.data(), static_cast<uint32_t>(segment.size()),
                                    kCodeBase, windows));
    REQUIRE(windows.size() == sample.size());
    for (size_t i = 0; i < sample.size(); ++i) {
        st::WindowRecord& w = *windows[i];
        st::WindowDescription back;
        back.id = w.id;
        back.wordA = w.wordA;
        back.wordB = w.wordB;
        back.text1 = w.text1;
        back.text2 = w.text2;
        for (size_t k = 0; k < w.units.ids.size(); ++k) {
            st::UnitDescription u;
            REQUIRE(st::DescribeUnitRecord(w.units.ids[k], w.units.records[k].data(),
                                           static_cast<uint32_t>(w.units.records[k].size()), u,
                                           &kCodeBase));
            back.units.push_back(u);
        }
        CHECK(back == sample[i]);
    }

    SUBCASE("handlers hold entry points: -1 none, 0 the code base, else base + offset") {
        st::UnitRecordView v;
        std::vector<uint8_t>& r = windows[0]->units.records[0];
        REQUIRE(v.Parse(r.data(), static_cast<uint32_t>(r.size())));
        REQUIRE(v.eventCount == 3);
        CHECK(v.events[1] == kCodeBase + 0x10);
        CHECK(v.events[3] == 0);
        CHECK(v.events[5] == kCodeBase);
        st::MenuItemView m;
        std::vector<uint8_t>& mr = windows[0]->units.records[2];
        REQUIRE(m.Parse(mr.data(), static_cast<uint32_t>(mr.size())));
        CHECK(*m.handler == kCodeBase + 0x20);
        CHECK(std::string(m.caption) == "文件(&F)");
    }
}

TEST_CASE("a unit record has each field where the walk expects it") {
    st::UnitDescription u = Sample()[0].units[1];
    std::vector<uint8_t> r = st::UnitRecordBytes(u);
    size_t name = u.name.size() + 1, remark = u.remark.size() + 1, tag = u.tag.size() + 1;
    // type, source, 16 reserved, texts, slot, geometry, cursor, parent, N, children,
    // P, pointer, tag, reserved, flags, tab order, event count, pairs, 20 reserved.
    size_t fixed = 4 + 4 + 16 + name + remark + 4 + 16 + 4 + 4 + 4 + 4 * 3 + 4 +
                   u.mousePointer.size() + tag + 4 + 4 + 4 + 4 + 8 * u.events.size() + 20;
    CHECK(r.size() == fixed + u.properties.size());
    size_t geometry = 24 + name + remark + 4;
    CHECK(static_cast<int32_t>(Word(r, geometry)) == -5);
    CHECK(Word(r, geometry + 16) == 0); // cursor slot starts empty
    CHECK(Word(r, geometry + 20) == 0x1601015F);
    CHECK(Word(r, geometry + 24) == 3);
    CHECK(Word(r, geometry + 32) == 0); // the page separator
    CHECK(Word(r, geometry + 40) == 7); // pointer length: identifier and three bytes
    CHECK(Word(r, geometry + 44) == 32649);
}

TEST_CASE("a segment cut short anywhere is a framing failure and changes nothing") {
    std::vector<uint8_t> segment = st::BuildTemplateSegment(Sample());
    int failures = 0;
    for (uint32_t n = 0; n < segment.size(); ++n) {
        st::WindowList windows;
        windows.push_back(std::make_unique<st::WindowRecord>());
        std::vector<uint8_t> cut(segment.begin(), segment.begin() + n);
        if (!st::ReadTemplateSegment(cut.data(), n, kCodeBase, windows) && windows.size() == 1)
            ++failures;
    }
    CHECK(failures == static_cast<int>(segment.size()));
}

TEST_CASE("framing: sizes beyond the segment, a record that cannot be walked") {
    std::vector<uint8_t> segment = st::BuildTemplateSegment(Sample());
    st::WindowList windows;
    auto read = [&](std::vector<uint8_t> bytes) {
        return st::ReadTemplateSegment(bytes.data(), static_cast<uint32_t>(bytes.size()), kCodeBase,
                                       windows);
    };
    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> s = segment;
        std::memcpy(s.data() + at, &value, 4);
        return s;
    };
    size_t firstWindow = 4 + 16;
    CHECK_FALSE(read(patched(0, 12)));                        // index not whole entries
    CHECK_FALSE(read(patched(0, 0x7FFFFFF8)));                // index larger than the segment
    CHECK_FALSE(read(patched(firstWindow + 8, 0xFFFFFFF0)));  // text 1 longer than the rest
    size_t list = firstWindow + 8 + 4 + 4 + 9;                // after text 2 ("文本二")
    CHECK_FALSE(read(patched(list, 0x40000000)));             // unit count beyond the block
    CHECK_FALSE(read(patched(list + 8 + 4 * 4, 0x00FFFFFF))); // record offset outside
    CHECK(windows.empty());

    st::WindowDescription w;
    w.id = 0x52010009;
    w.Add(0x06010000, 1);
    std::vector<uint8_t> good = st::BuildTemplateSegment({w});
    std::vector<uint8_t> bad = good;
    // The name loses its terminator: the record can no longer be walked to its events.
    size_t record = good.size() - st::UnitRecordBytes(w.units[0]).size();
    std::memset(bad.data() + record + 24, 'x', bad.size() - record - 24);
    CHECK_FALSE(read(bad));
    CHECK(read(good));
    CHECK(windows.size() == 1);
}

TEST_CASE("an index of length 0 is an empty registry") {
    std::vector<uint8_t> segment = st::BuildTemplateSegment({});
    CHECK(segment == std::vector<uint8_t>{0, 0, 0, 0});
    st::WindowList windows;
    CHECK(st::ReadTemplateSegment(segment.data(), 4, kCodeBase, windows));
    CHECK(windows.empty());
    CHECK(st::FindWindowIndex(windows, 0x52010001) == -1);
}

TEST_CASE("finding: invalid ids are never found, the first match wins") {
    std::vector<st::WindowDescription> all(3);
    all[0].id = 0x52000000; // low 24 bits 0: invalid
    all[1].id = 0x50010001; // bits 24-27 0: invalid
    all[2].id = 0x52010001;
    for (auto& w : all) {
        w.Add(0x06010000, 1);
        w.Add(0x16000000, 2); // invalid unit id
        w.Add(0x1601013B, 3);
        w.Add(0x1601013B, 4); // the same id again
    }
    std::vector<uint8_t> segment = st::BuildTemplateSegment(all);
    st::WindowList windows;
    REQUIRE(st::ReadTemplateSegment(segment.data(), static_cast<uint32_t>(segment.size()),
                                    kCodeBase, windows));
    CHECK(st::FindWindowIndex(windows, 0x52000000) == -1);
    CHECK(st::FindWindowIndex(windows, 0x50010001) == -1);
    CHECK(st::FindWindowIndex(windows, 0x52010001) == 2);
    const st::UnitList& units = windows[2]->units;
    CHECK(units.Find(0x16000000) == -1);
    CHECK(units.Find(0x1601013B) == 2);
    CHECK(units.Find(0) == -1);
}
