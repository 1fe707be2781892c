// Speech synthesis: the text goes to the speech service, the MP3 it names is
// downloaded into the folder 音频文件 beside the program, and its path and
// bytes become the audio that Play and Save As use.
#pragma once

#include "st/values.h"

#include <cstdint>
#include <string>

namespace app {

// Where the speech service is when no settings file says otherwise.
inline constexpr char kDefaultServiceEndpoint[] = "127.0.0.1:8925";
// Largest MP3 accepted: far beyond any spoken text, small enough to hold.
inline constexpr int32_t kMaxAudioBytes = 32 * 1024 * 1024;
// A download that receives nothing for this long has failed.
inline constexpr uint32_t kReceiveTimeoutMs = 30000;

// host:port of the speech service: from SpeechTool.ini in the directory
// given ([service] host=…, port=…), the default when the file is missing or
// any value in it is unusable.
std::string ServiceEndpoint(const std::string& directory);

// Downloads the MP3 at address (http:// or https:// only) to path; when path
// exists, to the first free "path (2).mp3", "path (3).mp3", …; nothing on
// disk is ever replaced. 1 on success, with the file's path and bytes in the
// audio globals; 0 on any failure, with files and globals as they were.
int32_t DownloadAudio(const st::TextValue& address, const st::TextValue& path);

// The whole request for text: page, MP3 address, download. True when new
// audio is in the globals. Buttons are left to the caller.
bool RequestAudio(const st::TextValue& text);

// RequestAudio, then Play and Save As enabled when it succeeded and the text
// was not changed meanwhile.
void SynthesizeSpeech(const st::TextValue& text);

// Advanced on every change of the text: a synthesis that started before the
// change must not present its audio as the new text's.
extern uint32_t audioStateCount;

} // namespace app
