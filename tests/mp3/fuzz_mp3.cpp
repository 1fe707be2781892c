// libFuzzer target over the player's whole path: ID3 and Xing parsing, finding the
// stream, measuring, a start-position seek, decoder set-up and every frame to the
// end, as the decoding loop does it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio_decoder.h"
#include "file_source.h"
#include "frame_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t start = size_t(mp3::Id3v2ReadStart(data, size < 10 ? size : 10));
    if (start > size) start = size;
    int64_t playable = int64_t(size);
    if (size >= 128 && mp3::IsId3v1Tag(data + size - 128, 128)) playable -= 128;

    mp3::MemoryInput input(data + start, size - start);
    mp3::FrameStream stream(input);
    if (stream.FindStream() != mp3::kOk) return 0;
    stream.Measure(playable);
    // The seek computation with the percentage taken from the data itself.
    const int64_t offset = stream.SeekPercent(size ? data[size - 1] % 101 : 0);
    if (offset < 0 || offset > playable) __builtin_trap();
    stream.SeekPercent(0);

    // The channel layout from a look over the whole input, as mp3decode takes it.
    mp3::MemoryInput look(data + start, size - start);
    const int channels = mp3::StreamChannels(look, stream.First(), stream.FrameLength());
    if (channels != 1 && channels != 2) __builtin_trap();
    if (stream.OutputChannels() == 1) stream.SetOutputChannels(channels);

    static auto decoder = std::make_unique<mp3::AudioDecoder>();
    static int16_t out[mp3::AudioDecoder::kMaxOutputBytes / 2];
    if (stream.SetUpDecoder(*decoder) != mp3::kOk) return 0;
    int32_t info[6];
    decoder->DecodeInfo(info);
    int produced = 0;
    while (stream.Step(*decoder, out, &produced) == mp3::kOk) {
        if (produced != info[1] * 2) __builtin_trap(); // every frame fills one block
        stream.Progress();
    }
    return 0;
}
