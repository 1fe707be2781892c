// Running uidriver.exe from a test: GBK arguments in, its result lines back
// as GBK, its exit code.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace e2e {

struct DriverResult {
    int code = -1;   // exit code; -1 when it did not start or end in time
    std::string out; // its output, converted to GBK
    bool Has(const std::string& piece) const { return out.find(piece) != std::string::npos; }
};

// Runs uidriver.exe (beside the test programs' tree) with these arguments.
DriverResult Driver(std::initializer_list<std::string> args, unsigned timeoutMs = 120000);

std::string ReadFileBytes(const std::string& path);
uint32_t BigEndian(const std::string& bytes, size_t at);

} // namespace e2e
