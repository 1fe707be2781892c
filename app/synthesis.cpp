#include "synthesis.h"

#include "command_access.h"
#include "external_functions.h"
#include "globals.h"
#include "handler_table.h"
#include "main_window.h"
#include "text_helpers.h"
#include "web_access.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace app {

uint32_t audioStateCount = 0;

namespace {

using namespace calls;

const char kRequestPath[] = "/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=";
const char kLeftMarker[] = "Products/MediaPlayer/' src='";
const char kRightMarker[] = "' width='0' height='0' autostart";
const char kFolder[] = "\\音频文件";
const char kFilePrefix[] = "\\音频文件\\生成音频测试";
const char kExtension[] = ".mp3";
const char kSettingsFile[] = "\\SpeechTool.ini";
const char kTempPrefix[] = "st~";

const char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr uint32_t kOpenPreconfig = 0;                    // INTERNET_OPEN_TYPE_PRECONFIG
constexpr uint32_t kOptionConnectTimeout = 2;             // INTERNET_OPTION_CONNECT_TIMEOUT
constexpr uint32_t kOptionReceiveTimeout = 6;             // INTERNET_OPTION_RECEIVE_TIMEOUT
constexpr uint32_t kFlagReload = 0x80000000u;             // INTERNET_FLAG_RELOAD
constexpr uint32_t kFlagNoCacheWrite = 0x04000000u;       // INTERNET_FLAG_NO_CACHE_WRITE
constexpr uint32_t kFlagNoUi = 0x00000200u;               // INTERNET_FLAG_NO_UI
constexpr uint32_t kFlagNoCookies = 0x00080000u;          // INTERNET_FLAG_NO_COOKIES
constexpr uint32_t kQueryStatusNumber = 19 | 0x20000000u; // HTTP_QUERY_STATUS_CODE as a number
constexpr uint32_t kQueryLengthNumber = 5 | 0x20000000u;  // HTTP_QUERY_CONTENT_LENGTH as a number
constexpr uint32_t kStatusOk = 200;
constexpr uint32_t kReadSize = 16384;
constexpr int32_t kMaxPath = 260;
constexpr int kMaxCopies = 999;

using st::Held;

std::string RunDirectory() {
    Held dir(AsText(Command(CommandId::RunDirectory, {})));
    return dir.text() ? dir.text() : "";
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// Only web addresses: a page must not send the tool to a local or shared
// file. Control bytes and spaces would change the request line itself.
bool IsWebAddress(const std::string& address) {
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://"))
        return false;
    for (unsigned char c : address)
        if (c <= ' ' || c == 0x7F || c == '\\') return false;
    return true;
}

// What an MP3 file starts with: an ID3v2 tag or a frame sync.
bool LooksLikeMp3(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "ID3") == 0) return true;
    if (bytes.size() < 4) return false;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    const auto b2 = static_cast<unsigned char>(bytes[2]);
    const bool sync = b0 == 0xFF && (b1 & 0xE0) == 0xE0;
    const bool version = (b1 & 0x18) != 0x08; // 01 is reserved
    const bool layer = (b1 & 0x06) != 0;      // 00 is reserved
    const bool bitrate = (b2 & 0xF0) != 0xF0;
    const bool rate = (b2 & 0x0C) != 0x0C;
    return sync && version && layer && bitrate && rate;
}

// The body of a 200 answer, fetched afresh (no cache either way) while the
// window keeps going; false on anything else.
bool FetchAudio(const std::string& address, std::string& body) {
    InternetHandle internet(
        External(ExtInternetOpenA, {Word(kUserAgent), kOpenPreconfig, 0, 0, 0}));
    if (!internet.get()) return false;
    uint32_t timeout = kReceiveTimeoutMs;
    External(ExtInternetSetOptionA, {internet.get(), kOptionReceiveTimeout, Word(&timeout), 4});
    External(ExtInternetSetOptionA, {internet.get(), kOptionConnectTimeout, Word(&timeout), 4});
    // Opening the address waits for the answer's headers, and each read for
    // its bytes: both run aside while the window keeps going.
    const st::AsideResult opened =
        ExternalAside(ExtInternetOpenUrlA,
                      {internet.get(),
                       st::AsideArg::In(address.c_str(), static_cast<uint32_t>(address.size() + 1)),
                       0, 0, kFlagReload | kFlagNoCacheWrite | kFlagNoUi | kFlagNoCookies, 0});
    if (!opened.ended) internet.release();
    InternetHandle request(opened.value);
    if (!request.get()) return false;
    uint32_t status = 0, size = sizeof status;
    if (!External(ExtHttpQueryInfoA,
                  {request.get(), kQueryStatusNumber, Word(&status), Word(&size), 0}) ||
        status != kStatusOk)
        return false;
    std::string buffer(kReadSize, '\0');
    body.clear();
    for (;;) {
        Command(CommandId::ProcessEvents, {});
        uint32_t got = 0;
        const st::AsideResult read = ExternalAside(
            ExtInternetReadFile, {request.get(), st::AsideArg::InOut(buffer.data(), kReadSize),
                                  kReadSize, st::AsideArg::InOut(&got, sizeof got)});
        if (!read.ended) {
            request.release();
            internet.release();
            return false;
        }
        if (!read.value) return false; // timeout or broken connection
        if (got == 0) break;
        if (body.size() + got > static_cast<size_t>(kMaxAudioBytes)) return false;
        body.append(buffer.data(), got);
    }
    // A connection closed early ends the reads like a complete answer does.
    uint32_t announced = 0;
    size = sizeof announced;
    if (External(ExtHttpQueryInfoA,
                 {request.get(), kQueryLengthNumber, Word(&announced), Word(&size), 0}) &&
        announced != body.size())
        return false;
    return !body.empty() && LooksLikeMp3(body);
}

// "a\b.mp3" as "a\b (n).mp3".
std::string NumberedPath(const std::string& path, int n) {
    const size_t dot = path.size() - std::strlen(kExtension);
    const bool hasExtension =
        path.size() > std::strlen(kExtension) && StartsWithNoCase(path.substr(dot), kExtension);
    const std::string copy = " (" + std::to_string(n) + ")";
    return hasExtension ? path.substr(0, dot) + copy + path.substr(dot) : path + copy;
}

// Bytes to a temporary file in the target's folder, then renamed to the first
// free name: no file ever carries a final name with partial contents, and no
// existing file is replaced (another synthesis in the same second, or another
// copy of the tool).
bool StoreAudio(const std::string& body, const std::string& path, std::string& stored) {
    const size_t slash = path.rfind('\\');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    char temp[kMaxPath] = {};
    if (!External(ExtGetTempFileNameA, {Word(folder.c_str()), Word(kTempPrefix), 0, Word(temp)}))
        return false;
    Held bytes(st::ByteSetFromBytes(body.data(), static_cast<int32_t>(body.size())));
    if (!Command(CommandId::WriteWholeFile, {TextArg(temp), BytesArg(bytes.text())}).low) {
        External(ExtDeleteFileA, {Word(temp)});
        return false;
    }
    for (int n = 1; n <= kMaxCopies; ++n) {
        const std::string name = n == 1 ? path : NumberedPath(path, n);
        // No MOVEFILE_REPLACE_EXISTING: a taken name fails the move.
        if (External(ExtMoveFileExA, {Word(temp), Word(name.c_str()), 0})) {
            stored = name;
            return true;
        }
        // Only a taken name is worth another try.
        if (!Command(CommandId::FileExists, {TextArg(name.c_str())}).low) break;
    }
    External(ExtDeleteFileA, {Word(temp)});
    return false;
}

// Downloads and stores; the audio globals are the caller's to change.
bool Download(const st::TextValue& address, const st::TextValue& path, std::string& stored,
              std::string& body) {
    const std::string a = address ? address : "";
    if (!IsWebAddress(a) || !path || !*path) return false;
    return FetchAudio(a, body) && StoreAudio(body, path, stored);
}

void TakeAudio(const std::string& path, const std::string& body) {
    st::FreeMemory(currentAudioPath);
    currentAudioPath = st::CopyText(path.c_str());
    st::FreeMemory(currentAudioBytes);
    currentAudioBytes = st::ByteSetFromBytes(body.data(), static_cast<int32_t>(body.size()));
}

bool ValidHost(const std::string& host) {
    if (host.empty()) return false;
    for (unsigned char c : host)
        if (!std::isalnum(c) && c != '.' && c != '-') return false;
    return true;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

} // namespace

std::string ServiceEndpoint(const std::string& directory) {
    std::ifstream in(directory + kSettingsFile, std::ios::binary);
    if (!in) return kDefaultServiceEndpoint;
    std::string host = "127.0.0.1", port = "8925", line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return kDefaultServiceEndpoint;
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return kDefaultServiceEndpoint;
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (section != "service") continue;
        if (key == "host")
            host = value;
        else if (key == "port")
            port = value;
    }
    if (!ValidHost(host) || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return kDefaultServiceEndpoint;
    const long number = std::strtol(port.c_str(), nullptr, 10);
    if (number < 1 || number > 0xFFFF) return kDefaultServiceEndpoint;
    return host + ":" + std::to_string(number);
}

int32_t DownloadAudio(const st::TextValue& address, const st::TextValue& path) {
    std::string stored, body;
    if (!Download(address, path, stored, body)) return 0;
    TakeAudio(stored, body);
    return 1;
}

bool RequestAudio(const st::TextValue& text) {
    const uint32_t startCount = audioStateCount;
    const std::string directory = RunDirectory();
    Held query(EncodeRequestText(text));
    const std::string address =
        ServiceEndpoint(directory) + kRequestPath + (query.text() ? query.text() : "");

    Held addressText(st::CopyText(address.c_str()));
    Held method(nullptr), proxy(nullptr), postData(nullptr);
    st::TextValue headers = nullptr, responseHeaders = nullptr;
    Held page(FetchPageText(addressText.text(), method.text(), proxy.text(), headers,
                            postData.text(), responseHeaders));
    st::FreeMemory(headers);
    st::FreeMemory(responseHeaders);

    bool found = false;
    Held left(st::CopyText(kLeftMarker)), right(st::CopyText(kRightMarker));
    Held mp3Address(TextBetween(page.text(), left.text(), right.text(), found));
    if (!found) return false; // the marker's message text is no address

    const std::string folder = directory + kFolder;
    if (!Command(CommandId::FileExists, {TextArg(folder.c_str())}).low)
        Command(CommandId::MakeDirectory, {TextArg(folder.c_str())});
    // A command's result carries no type: the date-time must be marked as
    // one, or the name would get no date-time text at all.
    ArgRecord now = Command(CommandId::Now, {});
    now.tag = st::TypeTag::DateTime;
    Held stamp(AsText(Command(CommandId::ToText, {now})));
    const std::string path =
        directory + kFilePrefix + (stamp.text() ? stamp.text() : "") + kExtension;
    Held pathText(st::CopyText(path.c_str()));

    std::string stored, body;
    if (!Download(mp3Address.text(), pathText.text(), stored, body)) return false;
    // The text changed while the request ran: this audio is not the new text's.
    if (audioStateCount != startCount) return false;
    TakeAudio(stored, body);
    return true;
}

void SynthesizeSpeech(const st::TextValue& text) {
    if (!RequestAudio(text)) return;
    for (uint32_t button : {unit::PlayButton, unit::SaveAsButton})
        st::Services.SetProperty(kMainWindow, button, property::Disabled, -1, 0, 0);
}

} // namespace app

namespace {
// The page fetch lets the window run: a second click would nest a second
// request inside the first, whose older audio would then land last.
bool synthesisRunning = false;
} // namespace

extern "C" void OnSynthesizeClick() {
    if (synthesisRunning) return;
    synthesisRunning = true;
    const uint64_t content = st::Services.GetProperty(app::kMainWindow, app::unit::TextBox,
                                                      app::property::TextBoxContent, -1);
    st::TextValue text =
        static_cast<st::TextValue>(app::calls::Pointer(static_cast<uint32_t>(content)));
    app::SynthesizeSpeech(text);
    st::Services.FreeMemory(text);
    synthesisRunning = false;
}

// The text no longer matches the audio: Play and Save As wait for the next
// synthesis. The bytes stay until then; only the path is forgotten.
extern "C" void ResetAudioState() {
    ++app::audioStateCount;
    for (uint32_t button : {app::unit::PlayButton, app::unit::SaveAsButton})
        st::Services.SetProperty(app::kMainWindow, button, app::property::Disabled, -1, 1, 0);
    st::Services.FreeMemory(app::currentAudioPath);
    app::currentAudioPath = nullptr;
}
