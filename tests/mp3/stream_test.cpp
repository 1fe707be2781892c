// Finding the stream, resynchronising, the end of the input, measuring, seeking and
// progress, over hand-made streams in memory.
#include <doctest.h>

#include <memory>

#include "frame_stream.h"
#include "test_support.h"

using namespace mp3;
using mp3test::HeaderFields;

namespace {

const HeaderFields k128{3, 1, 1, 9, 0};           // MPEG-1 L3 128k 44.1 kHz stereo: 417 bytes
const HeaderFields kMono128{3, 1, 1, 9, 0, 0, 3}; // the same in mono

std::vector<uint8_t> Frames(const HeaderFields& f, int count) {
    std::vector<uint8_t> s;
    for (int i = 0; i < count; ++i)
        mp3test::Append(s, mp3test::SilentFrame(f));
    return s;
}

struct Player {
    std::vector<uint8_t> bytes; // the input reads from this copy
    MemoryInput input;
    FrameStream stream{input};
    std::unique_ptr<AudioDecoder> decoder = std::make_unique<AudioDecoder>();
    std::vector<int16_t> pcm; // what DecodeAll produced
    explicit Player(std::vector<uint8_t> data)
        : bytes(std::move(data)), input(bytes.data(), bytes.size()) {}
    // Frames decoded until the end, or -1 when the loop fails otherwise.
    int DecodeAll(int expectBytes = -1) {
        static int16_t out[AudioDecoder::kMaxOutputBytes / 2];
        if (stream.SetUpDecoder(*decoder) != kOk) return -1;
        int frames = 0, produced = 0, rc;
        while ((rc = stream.Step(*decoder, out, &produced)) == kOk) {
            if (expectBytes >= 0 && produced != expectBytes) return -1;
            pcm.insert(pcm.end(), out, out + produced / 2);
            ++frames;
        }
        return rc == kErrEndOfStream ? frames : -1;
    }
};

} // namespace

TEST_CASE("the stream is found after junk, and every frame to the end is decoded") {
    std::vector<uint8_t> data(100, 0x00);
    mp3test::Append(data, Frames(k128, 20));
    Player p(data);
    REQUIRE(p.stream.FindStream() == kOk);
    CHECK(p.input.Position() == 100);
    CHECK(p.stream.First().bitrateIndex == 9);
    CHECK(p.stream.FrameLength() == 417);
    CHECK(p.stream.Bitrate() == 128000);
    CHECK(p.DecodeAll(1152 * 4) == 20);
}

TEST_CASE("short files and the tail of the input") {
    SUBCASE("two frames") {
        Player p(Frames(k128, 2));
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.DecodeAll() == 2);
    }
    SUBCASE("one frame followed by an ID3 version 1 tag") {
        auto data = Frames(k128, 1);
        std::vector<uint8_t> tag(128, 0x20);
        tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
        mp3test::Append(data, tag);
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.DecodeAll() == 1);
    }
    SUBCASE("a truncated last frame is not decoded") {
        auto data = Frames(k128, 5);
        data.resize(data.size() - 10);
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.DecodeAll() == 4);
    }
    SUBCASE("nothing that looks like a frame") {
        std::vector<uint8_t> data(3000, 0x41);
        Player p(data);
        CHECK(p.stream.FindStream() == kErrEndOfStream);
        Player empty(std::vector<uint8_t>{});
        CHECK(empty.stream.FindStream() == kErrEndOfStream);
    }
    SUBCASE("a lone Layer I frame is not a stream") {
        Player p(Frames({3, 3, 1, 12, 0}, 1));
        CHECK(p.stream.FindStream() == kErrEndOfStream);
    }
}

TEST_CASE("what the search refuses") {
    SUBCASE("a Layer I stream gives up after 32 tries") {
        Player p(Frames({3, 3, 1, 12, 0}, 300)); // 384 bytes each
        CHECK(p.stream.FindStream() == kErrNoStream);
    }
    SUBCASE("first frames that differ in sample rate are passed over") {
        std::vector<uint8_t> data;
        for (int i = 0; i < 4; ++i)
            mp3test::Append(data, mp3test::SilentFrame({3, 1, 1, 9, i % 2}));
        const size_t mixed = data.size();
        mp3test::Append(data, Frames({3, 1, 1, 9, 1}, 10));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.stream.First().sampleRateIndex == 1);
        CHECK(p.input.Position() <= mixed);
        CHECK(p.input.Position() > 0);
    }
}

TEST_CASE("Layer II frames of the longest legal length play: 384 kbit/s at 32 kHz, 1,728 bytes") {
    Player p(Frames({3, 2, 1, 14, 2}, 10));
    REQUIRE(p.stream.FindStream() == kOk);
    CHECK(p.stream.FrameLength() == 1728);
    CHECK(p.DecodeAll(1152 * 4) == 10);
}

TEST_CASE("free format, padded frames among them, up to the longest legal frame") {
    struct Case {
        int rateIndex, length, padEvery, frames, bitrate;
    };
    const Case cases[] = {
        {0, 600, 3, 12, 600 * 882 * 1000 / 2880}, // 44.1 kHz
        {2, 2880, 2, 8, 640000},                  // 32 kHz, 640 kbit/s: 2,880 bytes, 2,881 padded
    };
    for (const Case& c : cases) {
        CAPTURE(c.length);
        HeaderFields f{3, 1, 1, 0, c.rateIndex};
        std::vector<uint8_t> data;
        for (int i = 0; i < c.frames; ++i) {
            f.padding = i % c.padEvery == 1;
            std::vector<uint8_t> frame = mp3test::HeaderBytes(f);
            frame.resize(size_t(c.length + f.padding), 0);
            mp3test::Append(data, frame);
        }
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.stream.FrameLength() == c.length);
        CHECK(p.stream.Bitrate() == c.bitrate);
        CHECK(p.DecodeAll(1152 * 4) == c.frames);
    }
}

TEST_CASE("a change of channel mode is no change of stream") {
    SUBCASE("stereo, then joint stereo: the first frame is kept") {
        auto data = Frames(k128, 1);
        mp3test::Append(data, Frames({3, 1, 1, 9, 0, 0, 1}, 10));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.input.Position() == 0);
        CHECK(p.DecodeAll(1152 * 4) == 11);
    }
    SUBCASE("mono first frames with a two-channel one among them: two-channel output") {
        auto data = Frames(kMono128, 1);
        mp3test::Append(data, Frames(k128, 1));
        mp3test::Append(data, Frames(kMono128, 5));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.stream.OutputChannels() == 2);
        CHECK(p.DecodeAll(1152 * 4) == 7);
    }
    SUBCASE("a two-channel frame late in a mono stream is found by looking ahead") {
        auto data = Frames(kMono128, 6);
        mp3test::Append(data, std::vector<uint8_t>(30, 0x00));
        mp3test::Append(data, Frames(k128, 1));
        mp3test::Append(data, Frames(kMono128, 2));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.stream.OutputChannels() == 1);
        MemoryInput look(p.bytes.data(), p.bytes.size());
        CHECK(StreamChannels(look, p.stream.First(), p.stream.FrameLength()) == 2);
        MemoryInput monoOnly(p.bytes.data(), 6 * 417);
        CHECK(StreamChannels(monoOnly, p.stream.First(), p.stream.FrameLength()) == 1);
        p.stream.SetOutputChannels(2);
        CHECK(p.DecodeAll(1152 * 4) == 9);
    }
}

TEST_CASE("a mono frame inside a stereo stream neither desynchronises nor changes the layout") {
    auto data = Frames(k128, 10);
    mp3test::Append(data, mp3test::SilentFrame(kMono128));
    mp3test::Append(data, Frames(k128, 10));
    Player p(data);
    REQUIRE(p.stream.FindStream() == kOk);
    CHECK(p.DecodeAll(1152 * 4) == 21);
}

TEST_CASE("resynchronisation") {
    SUBCASE("junk between frames costs no frame and no click") {
        // Frames that carry sound and need no reservoir: across the junk the output
        // must go on exactly as without it.
        mp3test::Layer3Content c;
        c.line[0][0] = c.line[1][0] = c.line[0][1] = c.line[1][1] = true;
        const auto frame = mp3test::Layer3Frame(k128, c, mp3test::LineBits(4));
        std::vector<uint8_t> clean;
        for (int i = 0; i < 8; ++i)
            mp3test::Append(clean, frame);
        auto decode = [](std::vector<uint8_t> data) {
            Player p(std::move(data));
            REQUIRE(p.stream.FindStream() == kOk);
            REQUIRE(p.DecodeAll() >= 0);
            return p.pcm;
        };
        const std::vector<int16_t> reference = decode(clean);
        REQUIRE(reference.size() == 8 * 2304);
        for (size_t junk : {1, 2, 50}) {
            CAPTURE(junk);
            std::vector<uint8_t> data(clean.begin(), clean.begin() + 4 * 417);
            mp3test::Append(data, std::vector<uint8_t>(junk, 0x00));
            data.insert(data.end(), clean.begin() + 4 * 417, clean.end());
            CHECK(decode(data) == reference);
        }
    }
    SUBCASE("a free-format header inside a fixed-bitrate stream is no frame") {
        auto data = Frames(k128, 5);
        HeaderFields free = k128;
        free.bitrateIndex = 0;
        auto fake = mp3test::HeaderBytes(free);
        fake.resize(417, 0x00);
        mp3test::Append(data, fake);
        mp3test::Append(data, Frames(k128, 5));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        CHECK(p.DecodeAll() == 10);
    }
    SUBCASE("a sync right after the failed position is used") {
        std::vector<uint8_t> data(1, 0x00);
        mp3test::Append(data, Frames(k128, 5));
        Player p(data);
        REQUIRE(p.stream.Resynchronize() == kOk);
        CHECK(p.input.Position() == 1);
    }
    SUBCASE("no sync left: end of stream") {
        std::vector<uint8_t> data(3000, 0x00);
        Player p(data);
        CHECK(p.stream.Resynchronize() == kErrEndOfStream);
        CHECK(p.input.Position() == 3000);
    }
}

TEST_CASE("measuring, seeking and progress") {
    SUBCASE("from the playable size") {
        Player p(Frames(k128, 200));
        REQUIRE(p.stream.FindStream() == kOk);
        p.stream.Measure(417 * 200);
        CHECK(p.stream.TotalFrames() == 200);
        CHECK(p.stream.SeekPercent(50) == 417 * 100);
        CHECK(p.stream.FramesDecoded() == 100);
        CHECK(p.stream.SeekPercent(150) == 417 * 200);
        CHECK(p.stream.SeekPercent(-3) == 0);
        p.stream.Measure(0);
        CHECK(p.stream.TotalFrames() == -1);
        CHECK(p.stream.Progress() == 0);
        CHECK(p.stream.Progress() == -1);
    }
    SUBCASE("from the Xing header") {
        auto data = mp3test::XingFrame(k128, 36, kXingFrames | kXingToc, 50);
        mp3test::Append(data, Frames(k128, 49));
        Player p(data);
        REQUIRE(p.stream.FindStream() == kOk);
        REQUIRE(p.stream.Vbr().has_value());
        p.stream.Measure(100000);
        CHECK(p.stream.TotalFrames() == 50);
        CHECK(p.stream.SeekPercent(40) == (40 * 255 / 99) * 100000 / 256); // the 41st entry
        CHECK(p.stream.FramesDecoded() == 20);
        CHECK(p.stream.SeekPercent(100) == 100000);
        // Progress counts against the Xing frame count and stops at 99.
        p.stream.SeekPercent(0);
        int16_t out[AudioDecoder::kMaxOutputBytes / 2];
        REQUIRE(p.stream.SetUpDecoder(*p.decoder) == kOk);
        std::vector<int> posted;
        int produced;
        int v = p.stream.Progress();
        if (v >= 0) posted.push_back(v);
        while (p.stream.Step(*p.decoder, out, &produced) == kOk) {
            v = p.stream.Progress();
            if (v >= 0) posted.push_back(v);
        }
        CHECK(posted.size() == 51); // 0, 2, 4, ..., 98, then 99 for the last frame
        CHECK(posted.front() == 0);
        CHECK(posted[1] == 2);
        CHECK(posted.back() == 99);
    }
}
