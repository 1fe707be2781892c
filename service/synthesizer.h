// eSpeak NG front end: text to MP3. eSpeak keeps global state and is not
// thread-safe, so one synthesis runs at a time; callers simply queue.
#pragma once

#include "mandarin_text.h"
#include "protocol.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace speech {

// What eSpeak made of one run: the phonemes it reports while speaking it.
struct RunTrace {
    SpeechRun run;
    std::string phonemes;
};

class Synthesizer {
  public:
    // Initialises eSpeak (one instance per process); throws std::runtime_error.
    Synthesizer();
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;

    int SampleRate() const { return sampleRate_; }

    // Speaks UTF-8 text with a voice pair at a rate in words per minute and
    // returns the MP3 file; with `trace`, also what eSpeak read in each run.
    // Throws std::runtime_error.
    std::string SynthesizeMp3(std::string_view text, const Voice& voice, int rate,
                              std::vector<RunTrace>* trace = nullptr);

    // Ends the synthesis under way, and every later one, with an error: for a
    // stop that cannot wait for a long text.
    void Cancel() { cancelled_ = true; }

  private:
    void SelectVoice(const char* name);

    std::mutex mutex_;
    int sampleRate_ = 0;
    std::string currentVoice_;
    std::atomic<bool> cancelled_{false};
};

} // namespace speech
