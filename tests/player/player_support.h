// Helpers of the player's tests: fixtures, reference decoding, bounded waits.
#pragma once

#include <thread> // std::chrono's clocks and durations (all of <chrono> has text a GBK build cannot hold)
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace playertest {

// A fixture made by scripts/make-player-fixtures.sh.
std::string Fixture(const char* name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The PCM the stream code and decoder make of a file, as mp3decode writes it.
std::vector<uint8_t> ReferencePcm(const std::string& path);
// Whether the captured PCM is the reference; when not, says where they part.
bool SamePcm(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want);
// A file list as the player takes it: names, each NUL-terminated, and a closing NUL.
std::string FileList(const std::vector<std::string>& names);

// Polls pred until it holds or the bound passes; whether it held.
bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds bound);

// Runs body; when it has not returned within the bound the test program ends
// with a message (a hang is a failure, not a stuck test run).
void Watchdog(const char* what, std::chrono::seconds bound, const std::function<void()>& body);

// Scales iteration counts down in the emulated test machine.
int Scaled(int count);

} // namespace playertest
