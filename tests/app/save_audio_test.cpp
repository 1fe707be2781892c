// Save As writing: a target is replaced only by a completely written file,
// failures leave it as it was and leave nothing behind.
#include <doctest.h>

#include "dll_binding.h"
#include "external_functions.h"
#include "save_and_play.h"
#include "st/services.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

void Start() {
    static const bool started = [] {
        st::Services.Notify(st::NotifyCode::StartRuntime);
        st::DeclareExternalFunctions(app::kExternalCount, app::kExternalLibraries,
                                     app::kExternalExports);
        return true;
    }();
    (void)started;
}

// A fresh, empty folder for one case; removed with everything in it.
class Folder {
  public:
    Folder() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static int counter = 0;
        path_ = std::string(base) + "st_save_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++counter);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~Folder() {
        for (const std::string& name : Names()) {
            std::string full = path_ + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(full.c_str())) RemoveDirectoryA(full.c_str());
        }
        RemoveDirectoryA(path_.c_str());
    }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

void Put(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

std::string Get(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<none>";
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    return bytes.substr(0, got);
}

// A byte set as the program holds its audio (null for none).
class Audio {
  public:
    explicit Audio(const std::string& bytes)
        : set_(st::ByteSetFromBytes(bytes.data(), static_cast<int32_t>(bytes.size()))) {}
    ~Audio() { st::FreeMemory(set_); }
    const void* get() const { return set_; }

  private:
    void* set_;
};

using Names = std::vector<std::string>;

} // namespace

TEST_CASE("saving writes the held bytes and leaves only the target") {
    Start();
    Folder folder;
    const std::string target = folder / "语音.mp3";
    Audio audio(std::string("ID3\x03\0\0mp3 bytes", 15));

    SUBCASE("a new file") {
        CHECK(app::SaveAudioFile(target.c_str(), audio.get()));
        CHECK(Get(target) == std::string("ID3\x03\0\0mp3 bytes", 15));
    }
    SUBCASE("an existing longer file is replaced whole, no old tail left") {
        Put(target, std::string(4096, 'x'));
        CHECK(app::SaveAudioFile(target.c_str(), audio.get()));
        CHECK(Get(target) == std::string("ID3\x03\0\0mp3 bytes", 15));
    }
    SUBCASE("no audio: refused, an existing file kept") {
        Put(target, "old");
        CHECK_FALSE(app::SaveAudioFile(target.c_str(), nullptr));
        CHECK_FALSE(app::SaveAudioFile(target.c_str(), Audio("").get()));
        CHECK(Get(target) == "old");
    }
    SUBCASE("a file that happens to carry the first temporary name is not touched") {
        Put(target + ".~1", "someone else's");
        CHECK(app::SaveAudioFile(target.c_str(), audio.get()));
        CHECK(Get(target + ".~1") == "someone else's");
        CHECK(Get(target).size() == 15);
        CHECK(folder.Names() == Names{"语音.mp3", "语音.mp3.~1"});
        return;
    }
    CHECK(folder.Names() == Names{"语音.mp3"});
}

TEST_CASE("a save that fails leaves the target as it was and nothing beside it") {
    Start();
    Folder folder;
    Audio audio("new audio");

    SUBCASE("read-only target") {
        const std::string target = folder / "只读.mp3";
        Put(target, "old audio, kept");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        CHECK_FALSE(app::SaveAudioFile(target.c_str(), audio.get()));
        CHECK(Get(target) == "old audio, kept");
        CHECK(folder.Names() == Names{"只读.mp3"});
    }
    SUBCASE("target is a folder") {
        const std::string target = folder / "folder.mp3";
        CreateDirectoryA(target.c_str(), nullptr);
        CHECK_FALSE(app::SaveAudioFile(target.c_str(), audio.get()));
        CHECK((GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0);
        CHECK(folder.Names() == Names{"folder.mp3"});
    }
    SUBCASE("missing folder, empty name") {
        CHECK_FALSE(app::SaveAudioFile((folder / "no such folder\\a.mp3").c_str(), audio.get()));
        CHECK_FALSE(app::SaveAudioFile("", audio.get()));
        CHECK_FALSE(app::SaveAudioFile(nullptr, audio.get()));
        CHECK(folder.Names().empty());
    }
}
