// Directory of synthesised MP3 files, named by content key, with a size cap
// and least-recently-used eviction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace speech {

// A write into the cache directory failed (disk full, read-only, gone).
// what() names the file for the log; `reason` is the system's words alone,
// fit for an answer to a client.
class CacheWriteError : public std::runtime_error {
  public:
    CacheWriteError(const std::string& what, std::string reason)
        : std::runtime_error(what), reason(std::move(reason)) {}
    std::string reason;
};

// What a cached file must look like to be served: a regular file (never a
// link, pipe or device) of plausible size that starts with an MPEG audio frame.
inline constexpr std::uint64_t kMinAudioBytes = 144;
inline constexpr std::uint64_t kMaxAudioBytes = 64ull << 20;
bool LooksLikeMp3(std::string_view head);

class AudioCache {
  public:
    // Creates the directory when missing, takes its lock file (one service per
    // directory), removes temporary files left by a crash and indexes the
    // MP3 files already there, oldest use first. Throws std::runtime_error.
    AudioCache(std::filesystem::path dir, std::uint64_t maxBytes);
    ~AudioCache();
    AudioCache(const AudioCache&) = delete;
    AudioCache& operator=(const AudioCache&) = delete;

    bool Contains(std::string_view key) const;

    // Whether the key's file is still there and fit to serve (else it is
    // removed and forgotten); marks it as just used. What a page answer
    // checks before naming the file.
    bool Refresh(std::string_view key);

    // The file's bytes, marking it as just used; nullopt when not cached.
    std::optional<std::string> Read(std::string_view key);

    // Writes under a temporary name, syncs and renames, so a crash never leaves
    // a truncated file under a key; then evicts the least recently used files
    // until the total fits the cap (the new file itself is always kept).
    // Throws CacheWriteError on I/O failure.
    void Store(std::string_view key, std::string_view bytes);

    std::size_t FileCount() const;
    std::uint64_t TotalBytes() const;
    const std::filesystem::path& Directory() const { return dir_; }

    static std::string FileName(std::string_view key) { return std::string(key) + ".mp3"; }

  private:
    struct Entry {
        std::uint64_t size;
        std::list<std::string>::iterator position; // in recent_, most recent first
    };

    // Opens the key's file if it is fit to serve; a file that is not is
    // removed and the entry forgotten. -1 when there is none.
    int OpenServableLocked(std::unordered_map<std::string, Entry>::iterator it);
    void EvictLocked(std::string_view keep);
    void EraseLocked(std::unordered_map<std::string, Entry>::iterator it);

    std::filesystem::path dir_;
    std::uint64_t maxBytes_;
    int lockFd_ = -1;

    mutable std::mutex mutex_;
    std::list<std::string> recent_;
    std::unordered_map<std::string, Entry> entries_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t tempCounter_ = 0;
};

} // namespace speech
