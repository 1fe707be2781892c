// eSpeak NG front end: text to MP3. eSpeak keeps global state and is not
// thread-safe, so one synthesis runs at a time; callers simply queue.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace speech {

class Synthesizer {
  public:
    // Initialises eSpeak (one instance per process); throws std::runtime_error.
    Synthesizer();
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;

    int sampleRate() const { return sampleRate_; }

    // Speaks UTF-8 text with an eSpeak voice ("cmn", "cmn+f2") at a rate in
    // words per minute and returns the MP3 file. Throws std::runtime_error.
    std::string synthesizeMp3(std::string_view text, const std::string& voice, int rate);

  private:
    std::mutex mutex_;
    int sampleRate_ = 0;
    std::string currentVoice_;
};

} // namespace speech
