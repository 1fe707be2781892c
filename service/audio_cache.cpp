#include "audio_cache.h"

#include "content_key.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace speech {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTempPrefix = ".tmp-";
constexpr const char* kLockName = ".lock";

CacheWriteError WriteError(const std::string& what, const fs::path& path) {
    std::string reason = std::strerror(errno);
    return CacheWriteError(what + " " + path.string() + ": " + reason, reason);
}

std::runtime_error SystemError(const std::string& what, const fs::path& path) {
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

// Never follows a link and never waits on a pipe or device.
constexpr int kServeOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// The fd is a regular file of plausible size whose first bytes are an MPEG
// audio frame header. Reads from the start; the offset is left at 0.
bool IsServable(int fd, std::uint64_t* size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    auto bytes = static_cast<std::uint64_t>(st.st_size);
    if (bytes < kMinAudioBytes || bytes > kMaxAudioBytes) return false;
    char head[4];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return false;
    *size = bytes;
    return LooksLikeMp3(std::string_view(head, sizeof head));
}

// A key-named file: 32 hex digits and ".mp3".
std::optional<std::string> KeyOfFileName(const std::string& name) {
    if (name.size() != kContentKeyLength + 4 || !name.ends_with(".mp3")) return std::nullopt;
    std::string key = name.substr(0, kContentKeyLength);
    if (!IsContentKey(key)) return std::nullopt;
    return key;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool LooksLikeMp3(std::string_view head) {
    if (head.size() < 4) return false;
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
    bool sync = b(0) == 0xFF && (b(1) & 0xE0) == 0xE0;
    bool version = ((b(1) >> 3) & 3) != 1; // 1 is reserved
    bool layer = ((b(1) >> 1) & 3) != 0;
    unsigned bitrate = b(2) >> 4, rate = (b(2) >> 2) & 3;
    return sync && version && layer && bitrate != 0 && bitrate != 15 && rate != 3;
}

AudioCache::AudioCache(fs::path dir, std::uint64_t maxBytes)
    : dir_(std::move(dir)), maxBytes_(maxBytes) {
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (ec)
        throw std::runtime_error("cannot create cache directory " + dir_.string() + ": " +
                                 ec.message());

    fs::path lockPath = dir_ / kLockName;
    lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) throw SystemError("cannot open", lockPath);
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        throw std::runtime_error("cache directory " + dir_.string() +
                                 " is in use by another speech-service");
    }

    struct Found {
        fs::file_time_type used;
        std::string key;
        std::uint64_t size;
    };
    std::vector<Found> found;
    for (const fs::directory_entry& e : fs::directory_iterator(dir_, ec)) {
        std::string name = e.path().filename().string();
        if (name.starts_with(kTempPrefix)) {
            // Only this process writes here (we hold the lock), so any
            // temporary file is a leftover of an interrupted write.
            fs::remove(e.path(), ec);
            continue;
        }
        auto key = KeyOfFileName(name);
        if (!key) continue;
        // Under a key name only servable audio may stay: a link, pipe, empty
        // or damaged file would be served or hang a request. It is removed
        // and made again when its text is next asked for.
        int fd = ::open(e.path().c_str(), kServeOpenFlags);
        std::uint64_t size = 0;
        bool servable = fd >= 0 && IsServable(fd, &size);
        if (fd >= 0) ::close(fd);
        if (!servable) {
            fs::remove(e.path(), ec);
            ec.clear();
            continue;
        }
        found.push_back({e.last_write_time(ec), *key, size});
    }
    if (ec) {
        ::close(lockFd_);
        throw std::runtime_error("cannot read cache directory " + dir_.string() + ": " +
                                 ec.message());
    }

    // Oldest first, so that the newest ends up at the front of recent_.
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.used < b.used; });
    for (Found& f : found) {
        recent_.push_front(f.key);
        entries_.emplace(f.key, Entry{f.size, recent_.begin()});
        totalBytes_ += f.size;
    }
    std::lock_guard lock(mutex_);
    EvictLocked({});
}

AudioCache::~AudioCache() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool AudioCache::Contains(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return entries_.find(std::string(key)) != entries_.end();
}

bool AudioCache::Refresh(std::string_view key) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(std::string(key));
    if (it == entries_.end()) return false;
    int fd = OpenServableLocked(it);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

int AudioCache::OpenServableLocked(std::unordered_map<std::string, Entry>::iterator it) {
    fs::path path = dir_ / FileName(it->first);
    int fd = ::open(path.c_str(), kServeOpenFlags);
    bool present = fd >= 0 || errno != ENOENT;
    std::uint64_t size = 0;
    if (fd >= 0 && IsServable(fd, &size)) {
        recent_.splice(recent_.begin(), recent_, it->second.position);
        if (size != it->second.size) {
            totalBytes_ = totalBytes_ - it->second.size + size;
            it->second.size = size;
        }
        return fd;
    }
    // Gone, or replaced behind our back by something we must not serve.
    if (fd >= 0) ::close(fd);
    if (present) ::unlink(path.c_str());
    EraseLocked(it);
    return -1;
}

std::optional<std::string> AudioCache::Read(std::string_view key) {
    int fd;
    {
        // Opened under the lock: eviction unlinks under it too, so the file we
        // open is complete and stays readable even if it is evicted next.
        std::lock_guard lock(mutex_);
        auto it = entries_.find(std::string(key));
        if (it == entries_.end()) return std::nullopt;
        fd = OpenServableLocked(it);
        if (fd < 0) return std::nullopt;
    }

    std::string bytes;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ok = done == bytes.size();
    }
    // The modification time records the last use, so the order survives a restart.
    if (ok) ::futimens(fd, nullptr);
    ::close(fd);
    if (!ok) return std::nullopt;
    return bytes;
}

void AudioCache::Store(std::string_view key, std::string_view bytes) {
    std::string tempName;
    {
        std::lock_guard lock(mutex_);
        tempName =
            std::string(kTempPrefix) + std::to_string(++tempCounter_) + "-" + std::string(key);
    }
    fs::path temp = dir_ / tempName;
    fs::path final = dir_ / FileName(key);

    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw WriteError("cannot create", temp);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        errno = savedErrno;
        throw WriteError("cannot write", temp);
    }

    std::lock_guard lock(mutex_);
    if (::rename(temp.c_str(), final.c_str()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        errno = e;
        throw WriteError("cannot rename to", final);
    }
    std::string k(key);
    auto it = entries_.find(k);
    if (it != entries_.end()) {
        totalBytes_ -= it->second.size;
        it->second.size = bytes.size();
        recent_.splice(recent_.begin(), recent_, it->second.position);
    } else {
        recent_.push_front(k);
        entries_.emplace(k, Entry{bytes.size(), recent_.begin()});
    }
    totalBytes_ += bytes.size();
    EvictLocked(key);
}

void AudioCache::EvictLocked(std::string_view keep) {
    while (totalBytes_ > maxBytes_ && !recent_.empty()) {
        const std::string& victim = recent_.back();
        if (victim == keep) break; // the newest file alone is over the cap
        auto it = entries_.find(victim);
        ::unlink((dir_ / FileName(victim)).c_str());
        EraseLocked(it);
    }
}

void AudioCache::EraseLocked(std::unordered_map<std::string, Entry>::iterator it) {
    totalBytes_ -= it->second.size;
    recent_.erase(it->second.position);
    entries_.erase(it);
}

std::size_t AudioCache::FileCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::uint64_t AudioCache::TotalBytes() const {
    std::lock_guard lock(mutex_);
    return totalBytes_;
}

} // namespace speech
