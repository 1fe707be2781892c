#include "mp3_encoder.h"
#include "protocol.h"
#include "synthesizer.h"
#include "test_support.h"

#include <doctest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace speech;

namespace {

Synthesizer& SharedSynthesizer() {
    static Synthesizer s; // eSpeak is process-wide: one instance for all cases
    return s;
}

const Voice& kDefault = *FindVoice(kDefaultSex);

double Seconds(const std::vector<std::int16_t>& pcm) {
    return double(pcm.size()) / 22050.0;
}

// Median fundamental frequency over voiced stretches, by autocorrelation.
double MedianPitch(const std::vector<std::int16_t>& pcm) {
    constexpr std::size_t kFrame = 1024, kMinLag = 22050 / 500, kMaxLag = 22050 / 60;
    std::vector<double> pitches;
    for (std::size_t at = 0; at + kFrame + kMaxLag < pcm.size(); at += kFrame / 2) {
        double energy = 0;
        for (std::size_t i = 0; i < kFrame; ++i)
            energy += double(pcm[at + i]) * pcm[at + i];
        if (energy / kFrame < 1000.0 * 1000.0) continue; // quiet or silent
        double best = 0;
        std::size_t bestLag = 0;
        for (std::size_t lag = kMinLag; lag <= kMaxLag; ++lag) {
            double c = 0;
            for (std::size_t i = 0; i < kFrame; ++i)
                c += double(pcm[at + i]) * pcm[at + i + lag];
            if (c > best) {
                best = c;
                bestLag = lag;
            }
        }
        if (bestLag && best > 0.5 * energy) pitches.push_back(22050.0 / double(bestLag));
    }
    if (pitches.empty()) return 0;
    std::sort(pitches.begin(), pitches.end());
    return pitches[pitches.size() / 2];
}

} // namespace

TEST_CASE("Mandarin text becomes a plain CBR MPEG-2 Layer III mono file") {
    test::TempDir tmp;
    CHECK(SharedSynthesizer().SampleRate() == 22050);
    std::string mp3 = SharedSynthesizer().SynthesizeMp3("你好，世界 123 abc", kDefault, 175);

    auto frames = test::WalkFrames(mp3);
    REQUIRE_MESSAGE(frames, "not a clean sequence of frames from the first byte");
    REQUIRE(frames->size() > 20);
    for (const auto& f : *frames) {
        CHECK(f.mpegVersion == 2);
        CHECK(f.layer == 3);
        CHECK(f.bitrateKbps == kMp3Bitrate);
        CHECK(f.sampleRate == 22050);
        CHECK(f.mono);
    }

    auto speech = test::SpeechSeconds(mp3, tmp.Path());
    CHECK(speech >= 0.5);
    CHECK(speech < 10);
}

TEST_CASE("speed and voice change the audio") {
    test::TempDir tmp;
    const std::string text = "今天天气很好，我们去公园散步吧。";
    auto slow = test::DecodeMp3(
        SharedSynthesizer().SynthesizeMp3(text, kDefault, EspeakRateForSpeed(kMinSpeed)),
        tmp.Path());
    auto normal = test::DecodeMp3(
        SharedSynthesizer().SynthesizeMp3(text, kDefault, EspeakRateForSpeed(0)), tmp.Path());
    auto fast = test::DecodeMp3(
        SharedSynthesizer().SynthesizeMp3(text, kDefault, EspeakRateForSpeed(kMaxSpeed)),
        tmp.Path());
    CHECK(Seconds(slow) > Seconds(normal) * 1.2);
    CHECK(Seconds(normal) > Seconds(fast) * 1.2);

    // eSpeak carries a little state from one utterance to the next, so equal
    // requests are close but not bit-identical; the pitch tells voices apart.
    double basePitch = MedianPitch(
        test::DecodeMp3(SharedSynthesizer().SynthesizeMp3(text, kDefault, 175), tmp.Path()));
    CHECK(basePitch > 70);
    CHECK(basePitch < 200);
    for (const Voice* v = VoicesBegin(); v != VoicesEnd(); ++v) {
        CAPTURE(v->espeakName);
        auto pcm = test::DecodeMp3(SharedSynthesizer().SynthesizeMp3(text, *v, 175), tmp.Path());
        CHECK(test::Rms(pcm) > 300);
        double pitch = MedianPitch(pcm);
        CAPTURE(pitch);
        if (std::string_view(v->description).find("female") != std::string_view::npos)
            CHECK(pitch > basePitch * 1.3);
    }
    // Switching back gives the default voice again.
    double again = MedianPitch(
        test::DecodeMp3(SharedSynthesizer().SynthesizeMp3(text, kDefault, 175), tmp.Path()));
    CHECK(again == doctest::Approx(basePitch).epsilon(0.1));
}

TEST_CASE("unusual texts (markup, commands, symbols, long numbers, nothing to say) give valid "
          "MP3s") {
    const std::vector<std::string> texts = {
        "<speak><prosody rate='x-slow'>你好</prosody></speak>", // SSML is not enabled
        "[[h@'l@U]] 你好",                                      // nor phoneme input
        "\x01"
        "50S 你好\x01"
        "10S", // embedded-command syntax
        "电话 13800138000，价格 ¥1,234.56，时间 2026-12-08 12:30",
        "Hello, world! ABC xyz 123",
        "😀👍 你好 🎉",
        "e\xCC\x81\xCC\x81\xCC\x81 你好", // combining marks
        "第一行\r\n第二行\t第三行",
        std::string(300, '1'), // read digit by digit: 300 syllables
        "。。。",              // nothing to say: still a short file
    };
    for (const auto& text : texts) {
        CAPTURE(text.substr(0, 60));
        auto frames = test::WalkFrames(SharedSynthesizer().SynthesizeMp3(text, kDefault, 175));
        REQUIRE(frames);
        CHECK(frames->size() >= 4);
    }
}

TEST_CASE("an unknown voice is an error, not a crash") {
    constexpr Voice kMissing{0, "no-such-voice", "en", "missing"};
    CHECK_THROWS_AS(SharedSynthesizer().SynthesizeMp3("你好", kMissing, 175), std::runtime_error);
    // and the synthesizer still works afterwards
    CHECK(test::WalkFrames(SharedSynthesizer().SynthesizeMp3("你好", kDefault, 175)));
}

TEST_CASE("the encoder streams: pieces give the same file as one block") {
    std::vector<std::int16_t> tone(22050);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000 * std::sin(double(i) * 2 * M_PI * 440 / 22050));
    Mp3Encoder whole(22050);
    whole.Add(tone.data(), tone.size());
    Mp3Encoder pieces(22050);
    for (std::size_t at = 0; at < tone.size(); at += 1000)
        pieces.Add(tone.data() + at, std::min<std::size_t>(1000, tone.size() - at));
    std::string a = whole.Finish(), b = pieces.Finish();
    CHECK(a == b);
    test::TempDir tmp;
    auto pcm = test::DecodeMp3(a, tmp.Path());
    CHECK(Seconds(pcm) >= 1.0);
    CHECK(test::Rms(pcm) > 4000); // a 8000-amplitude sine has RMS ~5657
}

// Texts the tool's own window and help page use, numbers in the forms the
// front end reads, and mixed Latin words. eSpeak marks a switch into another
// language's rules with "(en)" in its trace: inside a Mandarin run that is a
// character read through English ("ni three hao three").
TEST_CASE("Han text is read as Mandarin, never through the English voice") {
    constexpr std::string_view kTexts[] = {
        "你好，世界",
        "普通话语音合成工具 - 输入文字即可生成MP3音频",
        "自动保存音频文件，播放，另存为，选择框",
        "2026年12月8日12:30，气温-3.5℃，涨了50%，电话13812345678",
        "请把USB线插到电脑上，然后打开 Media Player 播放",
    };
    for (std::string_view text : kTexts) {
        CAPTURE(text);
        std::vector<RunTrace> trace;
        SharedSynthesizer().SynthesizeMp3(text, kDefault, 175, &trace);
        REQUIRE(!trace.empty());
        for (const RunTrace& t : trace) {
            CAPTURE(t.run.text);
            CAPTURE(t.phonemes);
            CHECK(!t.phonemes.empty());
            if (t.run.kind == RunKind::Mandarin) {
                CHECK(t.phonemes.find("(en)") == std::string::npos);
                // Tone marks: Mandarin syllables, not English stress alone.
                CHECK(t.phonemes.find_first_of("2345") != std::string::npos);
            }
        }
    }
}

TEST_CASE("a few readings come out as the expected phonemes") {
    struct Expected {
        std::string_view text;
        std::string_view phonemes; // part of eSpeak's IPA trace
    };
    constexpr Expected kExpected[] = {
        {"你好", "nˈiɜ χˈɑu2"},
        {"10000", "jˈi5 wˈɑ5n"},        // 一万, not 十千
        {"50%", "pˈai2 fˈə5n ts.ˈi.5"}, // 百分之...
        {"USB", "jˌuːˌɛsbˈiː"},         // letters, by the English voice
    };
    for (const Expected& e : kExpected) {
        CAPTURE(e.text);
        std::vector<RunTrace> trace;
        SharedSynthesizer().SynthesizeMp3(e.text, kDefault, 175, &trace);
        std::string all;
        for (const RunTrace& t : trace)
            all += t.phonemes;
        CAPTURE(all);
        CHECK(all.find(e.phonemes) != std::string::npos);
    }
}

TEST_CASE("100 Chinese characters take less audio than the English-leaning voice gave") {
    // The plain Mandarin voice read most characters through English and took
    // 34.8 s for such a text; read as Mandarin it is markedly shorter.
    std::string text;
    constexpr std::string_view kSentence = "今天天气很好，我们去公园散步吧。"; // 16 characters
    for (int i = 0; i < 6; ++i)
        text += kSentence;
    text += "今天天气"; // 6 x 16 + 4 = 100 characters with the marks
    test::TempDir tmp;
    auto pcm = test::DecodeMp3(SharedSynthesizer().SynthesizeMp3(text, kDefault, 175), tmp.Path());
    CAPTURE(Seconds(pcm));
    CHECK(Seconds(pcm) > 10);
    CHECK(Seconds(pcm) < 30);
}
