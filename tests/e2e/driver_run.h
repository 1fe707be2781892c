// Running uidriver.exe from a test: GBK arguments in, its result lines back
// as GBK, its exit code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "test_files.h"

namespace e2e {

struct DriverResult {
    int code = -1;   // exit code; -1 when it did not start or end in time
    std::string out; // its output, converted to GBK
    bool Has(const std::string& piece) const { return out.find(piece) != std::string::npos; }
};

// Runs uidriver.exe (beside the test programs' tree) with these arguments.
DriverResult Driver(std::initializer_list<std::string> args, unsigned timeoutMs = 120000);
DriverResult Driver(const std::vector<std::string>& args, unsigned timeoutMs = 120000);
// Commands run in order in one start of the driver (joined by "+"), each
// given as its words; the run stops at the first that fails.
DriverResult Chain(std::initializer_list<std::initializer_list<std::string>> commands,
                   unsigned timeoutMs = 120000);

using test_support::FilesIn;
using test_support::ProgramFolder;
using test_support::ReadFileBytes;

// Up to four numbers "a,b,c,d" after key in a result line, as left, top,
// right, bottom (uidriver writes x,y,width,height, or width,height for the
// screen); -1 for each one missing.
RECT Numbers(const std::string& out, const char* key);

// A program of the build tree (path relative to this test program's
// folder) started as a person would start it; ended by force if a case
// leaves it running.
class Program {
  public:
    explicit Program(const std::string& relativePath);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    bool started() const { return started_; }
    // The exit code once it ended within the bound; -1 otherwise.
    long ExitCode(DWORD boundMs) const;

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};
uint32_t BigEndian(const std::string& bytes, size_t at);

// A setting of Wine's in the current user's registry for the life of the
// object, put back afterwards; Windows does not read these keys.
class WineSetting {
  public:
    WineSetting(const char* subkey, const char* name, const char* value);
    ~WineSetting();
    WineSetting(const WineSetting&) = delete;
    WineSetting& operator=(const WineSetting&) = delete;

  private:
    void Write(const char* value);
    HKEY key_ = nullptr;
    const char* name_;
    bool had_ = false;
    std::string old_;
};

} // namespace e2e
