#include "synthesizer.h"

#include "mp3_encoder.h"
#include "protocol.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace speech {

namespace {

std::atomic<bool> initialised{false};

std::string StatusText(espeak_ng_STATUS status) {
    char buffer[512];
    espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
    return buffer;
}

struct Job {
    Mp3Encoder* encoder;
    const std::atomic<bool>* cancelled;
    bool failed = false;
};

int onSamples(short* wav, int count, espeak_EVENT* events) {
    // Samples arrive in pieces; they go straight into the encoder so that a
    // long text never holds its whole PCM in memory. Nothing may be thrown
    // through eSpeak's C frames: a failure stops synthesis and is rethrown later.
    auto* job = static_cast<Job*>(events ? events->user_data : nullptr);
    if (!job || job->failed || *job->cancelled) return 1;
    if (wav && count > 0) {
        try {
            job->encoder->Add(wav, static_cast<std::size_t>(count));
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
        throw std::runtime_error("cannot initialise eSpeak NG: " + StatusText(status));
    }
    status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    if (status != ENS_OK)
        throw std::runtime_error("cannot initialise eSpeak NG output: " + StatusText(status));
    espeak_SetSynthCallback(onSamples);
    espeak_SetParameter(espeakPUNCTUATION, espeakPUNCT_NONE, 0);
    sampleRate_ = espeak_ng_GetSampleRate();

    // Fail at start-up, not at the first request, when voice data is missing.
    const Voice* defaults = FindVoice(kDefaultSex);
    SelectVoice(defaults->englishName);
    SelectVoice(defaults->espeakName);
}

void Synthesizer::SelectVoice(const char* name) {
    if (currentVoice_ == name) return;
    espeak_ng_STATUS status = espeak_ng_SetVoiceByName(name);
    if (status != ENS_OK)
        throw std::runtime_error(std::string("cannot select eSpeak NG voice '") + name +
                                 "': " + StatusText(status));
    currentVoice_ = name;
}

std::string Synthesizer::SynthesizeMp3(std::string_view text, const Voice& voice, int rate,
                                       std::vector<RunTrace>* trace) {
    std::lock_guard lock(mutex_);
    Mp3Encoder encoder(sampleRate_);
    Job job{&encoder, &cancelled_};
    std::vector<SpeechRun> runs = SplitSpeechRuns(TextForSynthesis(text));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const SpeechRun& run = runs[i];
        SelectVoice(run.kind == RunKind::Mandarin ? voice.espeakName : voice.englishName);
        // The rate belongs to the voice: set it after every change of voice.
        espeak_SetParameter(espeakRATE, rate, 0);
        unsigned flags = espeakCHARS_UTF8;
        // Only the text's own end gets the closing pause; runs follow on.
        if (i + 1 == runs.size()) flags |= espeakENDPAUSE;
        std::string input = run.text;
        if (run.kind == RunKind::Spelled) {
            // Letters only, so nothing in it needs escaping.
            input = "<say-as interpret-as=\"characters\">" + run.text + "</say-as>";
            flags |= espeakSSML;
        }
        char* traceText = nullptr;
        std::size_t traceSize = 0;
        std::FILE* traceFile = trace ? ::open_memstream(&traceText, &traceSize) : nullptr;
        if (traceFile) espeak_SetPhonemeTrace(espeakPHONEMES_IPA, traceFile);
        espeak_ERROR err = espeak_Synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0, flags,
                                        nullptr, &job);
        if (traceFile) {
            espeak_SetPhonemeTrace(0, nullptr);
            std::fclose(traceFile);
            trace->push_back({run, traceText ? traceText : ""});
            std::free(traceText);
        }
        if (err != EE_OK || job.failed || cancelled_)
            throw std::runtime_error("eSpeak synthesis failed");
    }

    // Text eSpeak finds nothing to say in (punctuation only) still gets a short,
    // well-formed file rather than an empty one.
    std::size_t minimum = static_cast<std::size_t>(sampleRate_) / 10;
    if (encoder.SamplesAdded() < minimum) {
        std::vector<std::int16_t> silence(minimum - encoder.SamplesAdded());
        encoder.Add(silence.data(), silence.size());
    }
    return encoder.Finish();
}

} // namespace speech
