// The frame decoder on hand-made frames: bit reservoir, set-up refusals, frames
// that do not belong to the stream, channel-mode changes.
#include <doctest.h>

#include <algorithm>
#include <memory>

#include "audio_decoder.h"
#include "layer2.h"
#include "tables_data.h"
#include "test_support.h"

using namespace mp3;
using mp3test::HeaderFields;
using mp3test::Layer3Content;

namespace {

// MPEG-1 Layer III, 32 kbit/s at 32 kHz, mono: 144-byte frames, 123 bytes of main data.
const HeaderFields kMono{3, 1, 1, 1, 2, 0, 3};
const HeaderFields kStereo{3, 1, 1, 1, 2, 0, 0};

bool AllZero(const int16_t* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

// Whether the two sides of a two-channel frame carry the same samples.
bool SidesAlike(const int16_t* p) {
    for (int i = 0; i < 1152; ++i)
        if (p[2 * i] != p[2 * i + 1]) return false;
    return true;
}

struct Decoder {
    std::unique_ptr<AudioDecoder> d = std::make_unique<AudioDecoder>();
    int16_t out[AudioDecoder::kMaxOutputBytes / 2];
    DecodeResult Frame(const std::vector<uint8_t>& f) {
        return d->DecodeFrame(f.data(), f.size(), out);
    }
};

// A frame whose granule 0 line is read from `back` bytes before its own main data;
// every frame carries those bits at the end of its main data for the next one.
std::vector<uint8_t> ReservoirFrame(int back) {
    Layer3Content c;
    c.mainDataBegin = back;
    c.line[0][0] = back > 0;
    std::vector<uint8_t> main(123, 0);
    if (back > 0) main[size_t(123 - back)] = 0x40; // "010"
    return mp3test::Layer3Frame(kMono, c, main);
}

} // namespace

TEST_CASE("bit reservoir") {
    Decoder dec;
    REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144));
    SUBCASE("a frame reaching before the buffered data is silence of full length") {
        auto r = dec.Frame(ReservoirFrame(5));
        CHECK(r.consumed == 144);
        CHECK(r.produced == 1152 * 2);
        CHECK(AllZero(dec.out, 1152));
        // The next frame finds its data in the first one's and decodes normally.
        r = dec.Frame(ReservoirFrame(5));
        CHECK(r.consumed == 144);
        CHECK_FALSE(AllZero(dec.out, 1152));
    }
    SUBCASE("a steady stream decodes alike across the buffer moves") {
        std::vector<int16_t> reference;
        for (int i = 0; i < 120; ++i) { // 120 x 123 bytes pass the 6,693 mark twice
            auto r = dec.Frame(ReservoirFrame(i == 0 ? 0 : 5));
            REQUIRE(r.consumed == 144);
            if (i == 3) reference.assign(dec.out, dec.out + 1152);
            if (i > 3) {
                CAPTURE(i);
                REQUIRE(std::equal(reference.begin(), reference.end(), dec.out));
            }
        }
        CHECK_FALSE(AllZero(reference.data(), 1152));
    }
    SUBCASE("main data over 8,192 bytes is refused") {
        HeaderFields free = kMono;
        free.bitrateIndex = 0;
        REQUIRE(dec.d->DecodeInit(mp3test::Header(free), 8192 + 4 + 17 + 1));
        std::vector<uint8_t> big = mp3test::HeaderBytes(free);
        big.resize(8192 + 4 + 17 + 1, 0);
        CHECK(dec.Frame(big).consumed == 0);
        REQUIRE(dec.d->DecodeInit(mp3test::Header(free), 8192 + 4 + 17));
        big.resize(8192 + 4 + 17);
        CHECK(dec.Frame(big).consumed == 8192 + 4 + 17);
    }
    SUBCASE("a frame longer than the bytes available is not decoded") {
        auto f = ReservoirFrame(0);
        CHECK(dec.d->DecodeFrame(f.data(), 143, dec.out).consumed == 0);
    }
}

TEST_CASE("set-up") {
    Decoder dec;
    int32_t info[6];
    SUBCASE("Layer III versions") {
        REQUIRE(dec.d->DecodeInit(mp3test::Header({3, 1, 1, 9, 0}), 417));
        dec.d->DecodeInfo(info);
        CHECK(info[0] == 2);
        CHECK(info[1] == 2304);
        CHECK(info[2] == 44100);
        CHECK(info[3] == 16);
        CHECK(info[4] == 417);
        CHECK(info[5] == 0);
        REQUIRE(dec.d->DecodeInit(mp3test::Header({0, 1, 1, 1, 2, 0, 3}), 72));
        dec.d->DecodeInfo(info);
        CHECK(info[0] == 1);
        CHECK(info[1] == 576);
        CHECK(info[2] == 8000);
    }
    SUBCASE("Layer II tables: forbidden combinations are refused") {
        CHECK(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 4, 0, 0, 0}), 208));        // 64k stereo
        CHECK_FALSE(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 1, 0, 0, 0}), 104));  // 32k stereo
        CHECK(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 1, 0, 0, 3}), 104));        // 32k mono
        CHECK_FALSE(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 11, 1, 0, 3}), 672)); // 224k mono
        CHECK(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 14, 1, 0, 0}), 1152));      // 384k stereo
        CHECK(dec.d->DecodeInit(mp3test::Header({3, 2, 1, 0, 1, 0, 0}), 700));        // free format
        CHECK(dec.d->DecodeInit(mp3test::Header({2, 2, 1, 1, 0, 0, 0}), 52));         // MPEG-2 8k
        dec.d->DecodeInfo(info);
        CHECK(info[1] == 2304); // Layer II: 1,152 samples per channel at every rate
    }
    SUBCASE("Layer I and the reserved rate are refused") {
        CHECK_FALSE(dec.d->DecodeInit(mp3test::Header({3, 3, 1, 1, 0}), 32));
        FrameHeader h = mp3test::Header({3, 1, 1, 9, 0});
        h.sampleRateIndex = 3;
        CHECK_FALSE(dec.d->DecodeInit(h, 417));
    }
}

TEST_CASE("frames that do not belong to the stream consume nothing") {
    Decoder dec;
    REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144));
    auto other = [&](HeaderFields f) { return dec.Frame(mp3test::SilentFrame(f)).consumed; };
    CHECK(other({0, 1, 1, 1, 2, 0, 3}) == 0); // MPEG-2.5
    CHECK(other({2, 1, 1, 1, 2, 0, 3}) == 0); // MPEG-2
    CHECK(other({3, 1, 1, 1, 1, 0, 3}) == 0); // another sample rate
    CHECK(other({3, 2, 1, 4, 2, 0, 3}) == 0); // Layer II
    std::vector<uint8_t> junk(200, 0x42);
    CHECK(dec.Frame(junk).consumed == 0);
    CHECK(other(kMono) == 144);
    // An MPEG-2.5 stream decodes 576 samples per channel at 8 kHz.
    REQUIRE(dec.d->DecodeInit(mp3test::Header({0, 1, 1, 1, 2, 0, 3}), 72));
    auto r = dec.Frame(mp3test::SilentFrame({0, 1, 1, 1, 2, 0, 3}));
    CHECK(r.consumed == 72);
    CHECK(r.produced == 576 * 2);
}

TEST_CASE("a frame in another channel mode is written in the stream's layout") {
    Decoder dec;
    Layer3Content c;
    c.line[0][0] = true;
    SUBCASE("mono frame in a stereo stream: both sides alike") {
        REQUIRE(dec.d->DecodeInit(mp3test::Header(kStereo), 144));
        CHECK(dec.Frame(mp3test::SilentFrame(kStereo)).produced == 1152 * 4);
        auto r = dec.Frame(mp3test::Layer3Frame(kMono, c, mp3test::LineBits(1)));
        CHECK(r.consumed == 144);
        REQUIRE(r.produced == 1152 * 4);
        CHECK_FALSE(AllZero(dec.out, 2304));
        CHECK(SidesAlike(dec.out));
        CHECK(dec.Frame(mp3test::SilentFrame(kStereo)).produced == 1152 * 4);
    }
    SUBCASE("two-channel output set up on a mono first frame") {
        REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144, 0, 0, kConvertStereo));
        int32_t info[6];
        dec.d->DecodeInfo(info);
        CHECK(info[0] == 2);
        CHECK(info[1] == 2304);
        auto r = dec.Frame(mp3test::Layer3Frame(kMono, c, mp3test::LineBits(1)));
        REQUIRE(r.produced == 1152 * 4);
        CHECK(SidesAlike(dec.out));
        CHECK_FALSE(AllZero(dec.out, 2304));
    }
    SUBCASE("stereo frame in a mono stream: the average") {
        REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144));
        auto r = dec.Frame(mp3test::Layer3Frame(kMono, c, mp3test::LineBits(1)));
        std::vector<int16_t> mono(dec.out, dec.out + 1152);
        REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144));
        r = dec.Frame(mp3test::Layer3Frame(kStereo, c, mp3test::LineBits(1)));
        CHECK(r.consumed == 144);
        REQUIRE(r.produced == 1152 * 2);
        // Left carries the line, right is silent: half the mono level.
        int maxMono = 0, maxMixed = 0;
        for (int i = 0; i < 1152; ++i) {
            maxMono = std::max(maxMono, std::abs(int(mono[size_t(i)])));
            maxMixed = std::max(maxMixed, std::abs(int(dec.out[i])));
        }
        CHECK(maxMono > 100);
        CHECK(std::abs(maxMixed * 2 - maxMono) <= 2);
    }
}

namespace {

struct GranuleFields {
    int part23Length = 0;
    int bigValues = 0;
    int globalGain = 210;
    int region0 = 0;
    int region1 = 0;
};

// A mono MPEG-1 frame (kMono) with the given side information for both granules and
// main data of noise.
std::vector<uint8_t> FrameWithSideInfo(const GranuleFields& g) {
    mp3test::BitWriter w;
    w.Put(0, 9 + 5 + 4); // main_data_begin, private bits, scfsi
    for (int gr = 0; gr < 2; ++gr) {
        w.Put(uint32_t(g.part23Length), 12);
        w.Put(uint32_t(g.bigValues), 9);
        w.Put(uint32_t(g.globalGain), 8);
        w.Put(0, 4 + 1);      // scalefac_compress, window switching
        w.Put(31 * 1057, 15); // table_select 31, 31, 31 (linbits 13)
        w.Put(uint32_t(g.region0), 4);
        w.Put(uint32_t(g.region1), 3);
        w.Put(0, 3);
    }
    std::vector<uint8_t> frame = mp3test::HeaderBytes(kMono);
    mp3test::Append(frame, w.Bytes());
    frame.resize(144, 0xB7);
    return frame;
}

int Peak(const int16_t* p, int n) {
    int peak = 0;
    for (int i = 0; i < n; ++i)
        peak = std::max(peak, std::abs(int(p[i])));
    return peak;
}

} // namespace

TEST_CASE("frames with impossible side information are silent") {
    const GranuleFields plausible{.part23Length = 400, .bigValues = 100, .globalGain = 250};
    Decoder check;
    REQUIRE(check.d->DecodeInit(mp3test::Header(kMono), 144));
    check.Frame(mp3test::SilentFrame(kMono));
    REQUIRE(check.Frame(FrameWithSideInfo(plausible)).consumed == 144);
    REQUIRE(Peak(check.out, 1152) > 10000); // the noise itself is loud when believed

    GranuleFields bad = plausible;
    SUBCASE("parts longer than the data the frame reaches") {
        bad.part23Length = 600; // two granules: 1,200 bits of 984
    }
    SUBCASE("big values past the spectrum") {
        bad.bigValues = 289;
    }
    SUBCASE("region counts past the last band") {
        bad.region0 = 15;
        bad.region1 = 6;
    }
    Decoder dec;
    REQUIRE(dec.d->DecodeInit(mp3test::Header(kMono), 144));
    dec.Frame(mp3test::SilentFrame(kMono));
    auto r = dec.Frame(FrameWithSideInfo(bad));
    CHECK(r.consumed == 144);
    CHECK(r.produced == 1152 * 2);
    CHECK(AllZero(dec.out, 1152));
    // The next frame decodes as if the bad one had been silence.
    Layer3Content c;
    c.line[0][0] = c.line[1][0] = true;
    const auto good = mp3test::Layer3Frame(kMono, c, mp3test::LineBits(2));
    Decoder ref;
    REQUIRE(ref.d->DecodeInit(mp3test::Header(kMono), 144));
    ref.Frame(mp3test::SilentFrame(kMono));
    ref.Frame(mp3test::SilentFrame(kMono));
    ref.Frame(good);
    dec.Frame(good);
    CHECK(std::equal(dec.out, dec.out + 1152, ref.out));
    CHECK_FALSE(AllZero(dec.out, 1152));
}

TEST_CASE("Layer II frames") {
    Decoder dec;
    const HeaderFields f{3, 2, 1, 10, 1, 0, 0}; // 192k 48 kHz stereo
    REQUIRE(dec.d->DecodeInit(mp3test::Header(f), 576));
    auto r = dec.Frame(mp3test::SilentFrame(f));
    CHECK(r.consumed == 576);
    CHECK(r.produced == 1152 * 4);
    CHECK(AllZero(dec.out, 2304));
    // The length follows each frame's own bitrate and padding.
    HeaderFields other = f;
    other.bitrateIndex = 11;
    other.padding = 1;
    CHECK(dec.Frame(mp3test::SilentFrame(other)).consumed == 673);
    // A forbidden combination in the middle of a stream is not decoded.
    HeaderFields forbidden = f;
    forbidden.bitrateIndex = 1;
    CHECK(dec.Frame(mp3test::SilentFrame(forbidden)).consumed == 0);
}

TEST_CASE("a Layer II frequency limit cuts the sound, not the reading of the frame") {
    // Joint stereo at 192k 48 kHz with the bound at subband 16: below it each
    // channel has its own allocation field. Only channel 0's subband 10 sounds.
    const HeaderFields f{3, 2, 1, 10, 1, 0, 1, 3};
    const FrameHeader h = mp3test::Header(f);
    const data::Layer2Table& alloc = data::kLayer2Tables[layer2::SelectTable(h)];
    mp3test::BitWriter w;
    for (int sb = 0; sb < alloc.sblimit; ++sb)
        for (int ch = 0; ch < (sb < 16 ? 2 : 1); ++ch)
            w.Put(sb == 10 && ch == 0 ? 1 : 0, alloc.subbands[sb].nbal);
    w.Put(2, 2);  // one scale factor for the whole frame
    w.Put(20, 6); // and its value
    const data::Layer2Class& c = data::kLayer2Classes[alloc.subbands[10].classIndex[1]];
    for (int gr = 0; gr < 12; ++gr)
        for (int i = 0; i < (c.grouped ? 1 : 3); ++i)
            w.Put(uint32_t(gr + i) % (1u << c.bits), c.bits);
    const int length = 576;
    std::vector<uint8_t> frame = mp3test::HeaderBytes(f);
    mp3test::Append(frame, w.Bytes(size_t(length) - frame.size()));

    Decoder full, cut;
    REQUIRE(full.d->DecodeInit(h, length));
    // 9 kHz: subbands up to 11 of 32 are heard, subband 10 among them.
    REQUIRE(cut.d->DecodeInit(h, length, 0, 0, kConvertAsCoded, 9000));
    REQUIRE(full.Frame(frame).produced == 1152 * 4);
    REQUIRE(cut.Frame(frame).produced == 1152 * 4);
    CHECK_FALSE(AllZero(full.out, 2304));
    CHECK(std::equal(full.out, full.out + 2304, cut.out));
}

// A player holds one decoder per stream: its state stays small, the per-frame work
// area lives apart from it.
static_assert(sizeof(AudioDecoder) < 18 * 1024, "decoder state grew");
