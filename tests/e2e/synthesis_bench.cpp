// How long a synthesis takes the tool itself, beyond the speech service's
// own time (scripts/bench-e2e.sh; not part of the test suite):
//   synthesis_bench PORT [COUNT]
// Against the speech service on 127.0.0.1:PORT, with a text it has already
// made (so the service only serves files): COUNT whole requests as the tool
// makes them (page, address, download, file, globals) and COUNT times the
// same two transfers with WinINet alone. The difference is the tool's share.
#include "external_functions.h"
#include "globals.h"
#include "st/services.h"
#include "synthesis.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kText[] = "你好，世界！Hello 123";
// The same text as the service receives it (double-byte characters as
// percent-escaped UTF-8).
const char kQuery[] = "%E4%BD%A0%E5%A5%BD%EF%BC%8C%E4%B8%96%E7%95%8C%EF%BC%81Hello 123";

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string Fetch(HINTERNET net, const std::string& address) {
    std::string body;
    HINTERNET url = InternetOpenUrlA(net, address.c_str(), nullptr, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buffer[16384];
    DWORD got = 0;
    while (url && InternetReadFile(url, buffer, sizeof buffer, &got) && got)
        body.append(buffer, got);
    if (url) InternetCloseHandle(url);
    return body;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: synthesis_bench PORT [COUNT]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 20;
    st::Services.Notify(st::NotifyCode::StartRuntime);

    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe);
    dir.resize(dir.rfind('\\'));
    {
        const std::string ini = dir + "\\SpeechTool.ini";
        FILE* f = std::fopen(ini.c_str(), "wb");
        if (!f) return 1;
        std::fprintf(f, "[service]\r\nhost=127.0.0.1\r\nport=%d\r\n", port);
        std::fclose(f);
    }

    st::TextValue text = st::CopyText(kText);
    if (!app::RequestAudio(text)) { // also makes sure the service has the file
        std::fprintf(stderr, "synthesis_bench: no audio from the service on port %d\n", port);
        return 1;
    }
    double tool = 0;
    for (int i = 0; i < count; ++i) {
        const double start = Now();
        const bool ok = app::RequestAudio(text);
        tool += Now() - start;
        if (!ok) return 1;
        DeleteFileA(app::currentAudioPath);
    }
    st::FreeMemory(text);

    HINTERNET net = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const std::string page = "http://127.0.0.1:" + std::to_string(port) +
                             "/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=" + kQuery;
    double plain = 0;
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) {
        const double start = Now();
        const std::string body = Fetch(net, page);
        const std::string left = "Products/MediaPlayer/' src='";
        const size_t from = body.find(left);
        if (from == std::string::npos) return 1;
        const size_t at = from + left.size();
        bytes = Fetch(net, body.substr(at, body.find('\'', at) - at)).size();
        plain += Now() - start;
    }
    InternetCloseHandle(net);
    std::printf("synthesis, whole request as the tool makes it: %.2f ms\n", tool / count);
    std::printf("the same page and MP3 (%zu bytes) with WinINet alone: %.2f ms\n", bytes,
                plain / count);
    std::printf("the tool's own time per synthesis: %.2f ms (%d requests)\n",
                (tool - plain) / count, count);
    DeleteFileA((dir + "\\SpeechTool.ini").c_str());
    return 0;
}
