// Frame headers, frame lengths, free format, the "Xing" header, ID3 tags, open errors.
#include <doctest.h>

#include <cerrno>
#include <cstring>

#include "file_source.h"
#include "frame_header.h"
#include "input_window.h"
#include "test_support.h"

using namespace mp3;
using mp3test::HeaderFields;
using mp3test::XingFrame;

TEST_CASE("header fields are split from the four bytes") {
    const uint8_t b[4] = {0xFF, 0xFA, 0x93, 0x6C}; // MPEG-1 L3, CRC, 128k, 44.1, pad, joint
    FrameHeader h;
    REQUIRE(ReadFrameHeader(b, 4, &h));
    CHECK(h.syncKind == 1);
    CHECK(h.versionBit == 1);
    CHECK(h.layerCode == 1);
    CHECK(h.protectionBit == 0);
    CHECK(h.bitrateIndex == 9);
    CHECK(h.sampleRateIndex == 0);
    CHECK(h.padding == 1);
    CHECK(h.privateBit == 1);
    CHECK(h.mode == 1);
    CHECK(h.modeExtension == 2);
    CHECK(h.copyright == 1);
    CHECK(h.original == 1);
    CHECK(h.emphasis == 0);
    CHECK(SampleRateHz(h) == 44100);
    CHECK(BitrateKbps(h) == 128);

    const uint8_t m25[4] = {0xFF, 0xE2, 0x18, 0xC0};
    REQUIRE(ReadFrameHeader(m25, 4, &h));
    CHECK(h.syncKind == 2);
    CHECK(h.versionBit == 0);
    CHECK(SampleRateHz(h) == 8000);
    CHECK(Channels(h) == 1);
}

TEST_CASE("what is not a frame header") {
    FrameHeader h;
    const uint8_t noSync[4] = {0xFE, 0xFB, 0x90, 0x00};
    const uint8_t reservedVersion[4] = {0xFF, 0xEB, 0x90, 0x00};
    const uint8_t layer0[4] = {0xFF, 0xF9, 0x90, 0x00};
    const uint8_t bitrate15[4] = {0xFF, 0xFB, 0xF0, 0x00};
    const uint8_t rate3[4] = {0xFF, 0xFB, 0x9C, 0x00};
    const uint8_t good[4] = {0xFF, 0xFB, 0x90, 0x00};
    CHECK_FALSE(ReadFrameHeader(noSync, 4, &h));
    CHECK_FALSE(ReadFrameHeader(reservedVersion, 4, &h));
    CHECK_FALSE(ReadFrameHeader(layer0, 4, &h));
    CHECK_FALSE(ReadFrameHeader(bitrate15, 4, &h));
    CHECK_FALSE(ReadFrameHeader(rate3, 4, &h));
    CHECK_FALSE(ReadFrameHeader(good, 3, &h));
    CHECK(ReadFrameHeader(good, 4, &h));
}

TEST_CASE("frame lengths for every version and layer") {
    struct Case {
        HeaderFields f;
        int length;
    } cases[] = {
        {{3, 1, 1, 9, 0}, 417},   // MPEG-1 L3 128k 44.1 kHz
        {{3, 1, 1, 14, 1}, 960},  // MPEG-1 L3 320k 48 kHz
        {{3, 1, 1, 14, 2}, 1440}, // MPEG-1 L3 320k 32 kHz
        {{2, 1, 1, 4, 0}, 104},   // MPEG-2 L3 32k 22.05 kHz
        {{2, 1, 1, 8, 1}, 192},   // MPEG-2 L3 64k 24 kHz
        {{0, 1, 1, 1, 2}, 72},    // MPEG-2.5 L3 8k 8 kHz
        {{0, 1, 1, 2, 0}, 104},   // MPEG-2.5 L3 16k 11.025 kHz
        {{3, 2, 1, 10, 1}, 576},  // MPEG-1 L2 192k 48 kHz
        {{2, 2, 1, 8, 0}, 417},   // MPEG-2 L2 64k 22.05 kHz (1,152 samples)
        {{3, 3, 1, 1, 0}, 32},    // MPEG-1 L1 32k 44.1 kHz
    };
    for (const auto& c : cases) {
        CAPTURE(c.length);
        const FrameHeader h = mp3test::Header(c.f);
        CHECK(FrameLengthFromBitrate(h) == c.length);
    }
    HeaderFields padded{3, 1, 1, 9, 0, 1};
    CHECK(PaddingBytes(mp3test::Header(padded)) == 1);
    HeaderFields layer1{3, 3, 1, 1, 0, 1};
    CHECK(PaddingBytes(mp3test::Header(layer1)) == 4);
    // Free format: the bitrate follows from the found length.
    HeaderFields free{3, 1, 1, 0, 0};
    CHECK(BitrateFromLength(mp3test::Header(free), 417) == 127706);
    HeaderFields free25{0, 1, 1, 0, 2};
    CHECK(BitrateFromLength(mp3test::Header(free25), 72) == 8000);
}

TEST_CASE("free-format length search") {
    HeaderFields f{3, 1, 1, 0, 0};
    const std::vector<uint8_t> head = mp3test::HeaderBytes(f);
    f.padding = 1;
    const std::vector<uint8_t> padded = mp3test::HeaderBytes(f);
    auto stream = [&](std::initializer_list<bool> pads, int length) {
        std::vector<uint8_t> s;
        for (bool pad : pads) {
            std::vector<uint8_t> frame = pad ? padded : head;
            frame.resize(size_t(length + (pad ? 1 : 0)), 0x55);
            mp3test::Append(s, frame);
        }
        return s;
    };
    SUBCASE("constant distance, with padding along the way") {
        auto s = stream({false, true, false, true, false}, 700);
        CHECK(FindFreeFormatLength(s.data(), s.size()) == 700);
        CHECK(FrameLength(mp3test::Header({3, 1, 1, 0, 0}), s.data(), s.size()) == 700);
    }
    SUBCASE("a padded first frame") {
        auto s = stream({true, false, false}, 500);
        CHECK(FindFreeFormatLength(s.data(), s.size()) == 500);
    }
    SUBCASE("a false match inside the first frame is passed over") {
        auto s = stream({false, false, false}, 600);
        s[100] = head[0];
        s[101] = head[1];
        CHECK(FindFreeFormatLength(s.data(), s.size()) == 600);
    }
    SUBCASE("no repetition") {
        std::vector<uint8_t> s = head;
        s.resize(3000, 0x55);
        CHECK(FindFreeFormatLength(s.data(), s.size()) == -1);
    }
    SUBCASE("the longest legal frame") {
        auto s = stream({false, true, false}, 2880);
        CHECK(FindFreeFormatLength(s.data(), s.size()) == 2880);
    }
    SUBCASE("a single frame is not enough") {
        auto s = stream({false}, 700);
        CHECK(FindFreeFormatLength(s.data(), s.size()) == -1);
    }
}

TEST_CASE("Xing header") {
    SUBCASE("all fields, MPEG-1 stereo at byte 36") {
        HeaderFields f{3, 1, 1, 9, 0};
        auto frame = XingFrame(f, 36, 15);
        VbrInfo v;
        REQUIRE(ReadVbrInfo(frame.data(), frame.size(), mp3test::Header(f), &v));
        CHECK(v.versionBit == 1);
        CHECK(v.sampleRate == 44100);
        CHECK(v.flags == 15);
        CHECK(v.frames == 1234);
        CHECK(v.bytes == 567890);
        CHECK(v.toc[0] == 0);
        CHECK(v.toc[50] == 128);
        CHECK(v.toc[99] == 255);
        CHECK(v.quality == 78);
    }
    SUBCASE("only the fields whose flags are set, in order") {
        HeaderFields f{3, 1, 1, 9, 0, 0, 3}; // mono: byte 21
        auto frame = XingFrame(f, 21, kXingFrames | kXingQuality);
        VbrInfo v;
        REQUIRE(ReadVbrInfo(frame.data(), frame.size(), mp3test::Header(f), &v));
        CHECK(v.frames == 1234);
        CHECK(v.bytes == 0);
        CHECK(v.quality == 78);
    }
    SUBCASE("MPEG-2 positions and the halved rate") {
        HeaderFields stereo{2, 1, 1, 8, 1};
        auto frame = XingFrame(stereo, 21, kXingFrames);
        VbrInfo v;
        REQUIRE(ReadVbrInfo(frame.data(), frame.size(), mp3test::Header(stereo), &v));
        CHECK(v.sampleRate == 24000);
        HeaderFields mono{2, 1, 1, 8, 1, 0, 3};
        frame = XingFrame(mono, 13, kXingFrames);
        REQUIRE(ReadVbrInfo(frame.data(), frame.size(), mp3test::Header(mono), &v));
        CHECK(v.frames == 1234);
        // At the stereo position the mono frame has no tag.
        frame = XingFrame(mono, 21, kXingFrames);
        CHECK_FALSE(ReadVbrInfo(frame.data(), frame.size(), mp3test::Header(mono), &v));
    }
    SUBCASE("a tag cut off by the window is not read") {
        HeaderFields f{3, 1, 1, 9, 0};
        auto frame = XingFrame(f, 36, kXingToc);
        VbrInfo v;
        CHECK_FALSE(ReadVbrInfo(frame.data(), 36 + 8 + 50, mp3test::Header(f), &v));
    }
}

TEST_CASE("ID3 tags") {
    SUBCASE("version 2.3 is skipped by its synchsafe size") {
        const uint8_t tag[10] = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01};
        CHECK(Id3v2ReadStart(tag, 10) == 267);
        // The extended-header flag changes nothing: the size spans it.
        const uint8_t ext[10] = {'I', 'D', '3', 3, 0, 0x40, 0x00, 0x00, 0x02, 0x01};
        CHECK(Id3v2ReadStart(ext, 10) == 267);
        const uint8_t big[10] = {'I', 'D', '3', 3, 0, 0, 0x01, 0x02, 0x03, 0x04};
        CHECK(Id3v2ReadStart(big, 10) == 10 + (1 << 21 | 2 << 14 | 3 << 7 | 4));
    }
    SUBCASE("versions 2.2 and 2.4 are skipped too, a 2.4 footer with them") {
        const uint8_t v22[10] = {'I', 'D', '3', 2, 0, 0, 0x00, 0x12, 0x34, 0x56};
        CHECK(Id3v2ReadStart(v22, 10) == 10 + (0x12 << 14 | 0x34 << 7 | 0x56));
        const uint8_t v24[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 1};
        CHECK(Id3v2ReadStart(v24, 10) == 267);
        const uint8_t footer[10] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 1};
        CHECK(Id3v2ReadStart(footer, 10) == 277);
    }
    SUBCASE("what is no valid tag header is read from byte 10, no tag from 0") {
        const uint8_t v25[10] = {'I', 'D', '3', 5, 0, 0, 0, 0, 2, 1};
        CHECK(Id3v2ReadStart(v25, 10) == 10);
        const uint8_t badSize[10] = {'I', 'D', '3', 3, 0, 0, 0, 0x80, 2, 1};
        CHECK(Id3v2ReadStart(badSize, 10) == 10);
        const uint8_t none[10] = {0xFF, 0xFB, 0x90, 0, 0, 0, 0, 0, 0, 0};
        CHECK(Id3v2ReadStart(none, 10) == 0);
        CHECK(Id3v2ReadStart(none, 6) == 6);
    }
    SUBCASE("version 1") {
        uint8_t tail[128] = {'T', 'A', 'G'};
        CHECK(IsId3v1Tag(tail, 128));
        tail[2] = 'X';
        CHECK_FALSE(IsId3v1Tag(tail, 128));
    }
}

TEST_CASE("opening files") {
    CHECK(MapOpenError(ENOENT) == 12);
    CHECK(MapOpenError(EACCES) == 9);
    CHECK(MapOpenError(EINVAL) == 11);
    CHECK(MapOpenError(EMFILE) == 13);
    CHECK(MapOpenError(EIO) == 1);
    OpenFile f;
    CHECK(OpenMp3File("/nonexistent/dir/file.mp3", &f) == 12);

    // A file with an ID3 v2.3 tag and a v1 tag: playable size and start.
    const char* name = "open_test.mp3";
    std::FILE* out = std::fopen(name, "wb");
    REQUIRE(out);
    const uint8_t tag[10] = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x02, 0x01};
    std::fwrite(tag, 1, 10, out);
    std::vector<uint8_t> body(257 + 1000, 0x11);
    std::fwrite(body.data(), 1, body.size(), out);
    uint8_t v1[128] = {'T', 'A', 'G'};
    std::fwrite(v1, 1, 128, out);
    std::fclose(out);
    REQUIRE(OpenMp3File(name, &f) == 0);
    CHECK(f.playableSize == 10 + 257 + 1000);
    CHECK(f.readStart == 267);
    CHECK(std::ftell(f.file) == 267);
    std::fclose(f.file);

    // An APE tag (header, one item, footer) before the version 1 tag.
    out = std::fopen(name, "wb");
    REQUIRE(out);
    std::fwrite(body.data(), 1, body.size(), out);
    auto apeBlock = [](uint32_t flags) {
        std::vector<uint8_t> b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
        for (uint32_t v : {2000u, 32u + 40u, 1u, flags})
            for (int i = 0; i < 4; ++i)
                b.push_back(uint8_t(v >> (8 * i)));
        b.resize(32, 0);
        return b;
    };
    const auto header = apeBlock(0xA0000000u), footer = apeBlock(0x80000000u);
    std::fwrite(header.data(), 1, 32, out);
    std::vector<uint8_t> item(40, 0x22);
    std::fwrite(item.data(), 1, item.size(), out);
    std::fwrite(footer.data(), 1, 32, out);
    std::fwrite(v1, 1, 128, out);
    std::fclose(out);
    REQUIRE(OpenMp3File(name, &f) == 0);
    CHECK(f.playableSize == int64_t(body.size()));
    CHECK(f.readStart == 0);
    std::fclose(f.file);
    CHECK(ApeTagBytes(footer.data(), 32) == 32 + 40 + 32);
    CHECK(ApeTagBytes(body.data(), 32) == 0);
    std::remove(name);
}
