#include "synthesizer.h"

#include "mp3_encoder.h"
#include "protocol.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace speech {

namespace {

std::atomic<bool> initialised{false};

std::string statusText(espeak_ng_STATUS status) {
    char buffer[512];
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return buffer;
}

struct Job {
    Mp3Encoder* encoder;
    bool failed = false;
};

int onSamples(short* wav, int count, espeak_EVENT* events) {
    // Samples arrive in pieces; they go straight into the encoder so that a
    // long text never holds its whole PCM in memory. Nothing may be thrown
    // through eSpeak's C frames: a failure stops synthesis and is rethrown later.
    auto* job = static_cast<Job*>(events ? events->user_data : nullptr);
    if (!job || job->failed) return 1;
    if (wav && count > 0) {
        try {
            job->encoder->add(wav, static_cast<std::size_t>(count));
        } catch (...) {
            job->failed = true;
            return 1;
        }
    }
    return 0;
}

} // namespace

Synthesizer::Synthesizer() {
    if (initialised.exchange(true)) throw std::runtime_error("eSpeak is already initialised");
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status != ENS_OK) {
        espeak_ng_ClearErrorContext(&context);
        throw std::runtime_error("cannot initialise eSpeak NG: " + statusText(status));
    }
    status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    if (status != ENS_OK)
        throw std::runtime_error("cannot initialise eSpeak NG output: " + statusText(status));
    espeak_SetSynthCallback(onSamples);
    espeak_SetParameter(espeakPUNCTUATION, espeakPUNCT_NONE, 0);
    sampleRate_ = espeak_ng_GetSampleRate();

    // Fail at start-up, not at the first request, when the voice data is missing.
    status = espeak_ng_SetVoiceByName(findVoice(kDefaultSex)->espeakName);
    if (status != ENS_OK)
        throw std::runtime_error(std::string("eSpeak NG has no voice '") +
                                 findVoice(kDefaultSex)->espeakName + "': " + statusText(status));
    currentVoice_ = findVoice(kDefaultSex)->espeakName;
}

std::string Synthesizer::synthesizeMp3(std::string_view text, const std::string& voice, int rate) {
    std::lock_guard lock(mutex_);
    if (voice != currentVoice_) {
        espeak_ng_STATUS status = espeak_ng_SetVoiceByName(voice.c_str());
        if (status != ENS_OK)
            throw std::runtime_error("cannot select voice " + voice + ": " + statusText(status));
        currentVoice_ = voice;
    }
    espeak_SetParameter(espeakRATE, rate, 0);

    Mp3Encoder encoder(sampleRate_);
    Job job{&encoder};
    std::string input = textForSynthesis(text);
    espeak_ERROR err = espeak_Synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0,
                                    espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, &job);
    if (err != EE_OK || job.failed) throw std::runtime_error("eSpeak synthesis failed");

    // Text eSpeak finds nothing to say in (punctuation only) still gets a short,
    // well-formed file rather than an empty one.
    std::size_t minimum = static_cast<std::size_t>(sampleRate_) / 10;
    if (encoder.samplesAdded() < minimum) {
        std::vector<std::int16_t> silence(minimum - encoder.samplesAdded());
        encoder.add(silence.data(), silence.size());
    }
    return encoder.finish();
}

} // namespace speech
