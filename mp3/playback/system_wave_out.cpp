// The system's wave-out device and progress messages: the Windows side of playback.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "mp3_player.h"

namespace mp3 {

namespace {

constexpr UINT WM_PLAYPROGRESS = WM_APP + 0x75;
static_assert(WM_PLAYPROGRESS == 0x8075);

class SystemWaveOut : public WaveOutDevice {
  public:
    ~SystemWaveOut() override {
        if (handle_) waveOutClose(handle_);
    }

    int Open(const StreamFormat& format, int headerCount, DoneFn done, void* context) override {
        done_ = done;
        context_ = context;
        headers_.assign(size_t(headerCount), WAVEHDR{});
        WAVEFORMATEX wave = {
            .wFormatTag = WAVE_FORMAT_PCM,
            .nChannels = WORD(format.channels),
            .nSamplesPerSec = DWORD(format.sampleRate),
            .nAvgBytesPerSec = 0,
            .nBlockAlign = WORD(format.bitsPerSample / 8 * format.channels),
            .wBitsPerSample = WORD(format.bitsPerSample),
            .cbSize = 0,
        };
        wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
        const MMRESULT rc =
            waveOutOpen(&handle_, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(&Callback),
                        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
        if (rc != MMSYSERR_NOERROR) handle_ = nullptr;
        return int(rc);
    }

    int Prepare(int header, uint8_t* data, uint32_t length) override {
        WAVEHDR& h = headers_[size_t(header)];
        h = WAVEHDR{};
        h.lpData = reinterpret_cast<LPSTR>(data);
        h.dwBufferLength = length;
        h.dwUser = DWORD_PTR(header); // the renderer keeps its marks by header number
        return int(waveOutPrepareHeader(handle_, &h, sizeof h));
    }
    int Write(int header) override {
        return int(waveOutWrite(handle_, &headers_[size_t(header)], sizeof(WAVEHDR)));
    }
    int Unprepare(int header) override {
        return int(waveOutUnprepareHeader(handle_, &headers_[size_t(header)], sizeof(WAVEHDR)));
    }
    int Pause() override { return int(waveOutPause(handle_)); }
    int Restart() override { return int(waveOutRestart(handle_)); }
    int Reset() override { return int(waveOutReset(handle_)); }
    int Close() override {
        const MMRESULT rc = waveOutClose(handle_);
        if (rc == MMSYSERR_NOERROR) handle_ = nullptr;
        return rc == WAVERR_STILLPLAYING ? kStillPlaying : int(rc);
    }

  private:
    static void CALLBACK Callback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                  DWORD_PTR) {
        if (message != WOM_DONE) return;
        auto* self = reinterpret_cast<SystemWaveOut*>(instance);
        const auto* h = reinterpret_cast<const WAVEHDR*>(param1);
        self->done_(self->context_, int(h->dwUser));
    }

    HWAVEOUT handle_ = nullptr;
    std::vector<WAVEHDR> headers_;
    DoneFn done_ = nullptr;
    void* context_ = nullptr;
};

static_assert(WaveOutDevice::kStillPlaying == WAVERR_STILLPLAYING);

std::unique_ptr<WaveOutDevice> NewSystemWaveOut() {
    return std::make_unique<SystemWaveOut>();
}

void PostProgressMessage(void* window, int percent) {
    const HWND hwnd = static_cast<HWND>(window);
    if (IsWindow(hwnd)) PostMessageA(hwnd, WM_PLAYPROGRESS, WPARAM(percent), 0);
}

} // namespace

PlaybackPlatform SystemPlaybackPlatform() {
    return {.newDevice = NewSystemWaveOut, .postProgress = PostProgressMessage};
}

} // namespace mp3
