#include "scripted_server.h"

#include <doctest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>

namespace scripted {

int Port(const char* name) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file(path);
    file = file.substr(0, file.rfind('\\')) + "\\web_server\\ports";
    std::ifstream in(file);
    std::string line;
    const std::string key = std::string(name) + "=";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoi(line.c_str() + key.size());
    return 0;
}

std::string HttpAddress(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(Port("http")) + path;
}

std::string Control(const std::string& request) {
    static const bool winsock = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    REQUIRE(winsock);
    const int port = Port("control");
    REQUIRE_MESSAGE(port != 0,
                    "the test server's ports file is missing (see web_server/server.log)");
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    REQUIRE(s != INVALID_SOCKET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::string answer;
    if (connected) {
        for (size_t sent = 0; sent < request.size();) {
            const int n =
                send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        shutdown(s, SD_SEND);
        char buffer[4096];
        int n;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    REQUIRE_MESSAGE(connected, "the test server's control port refused the connection");
    return answer;
}

Answer& Answer::Send(const std::string& bytes) {
    steps += "send " + std::to_string(bytes.size()) + "\n" + bytes;
    return *this;
}

Answer& Answer::Sleep(int ms) {
    steps += "sleep " + std::to_string(ms) + "\n";
    return *this;
}

Answer& Answer::Repeat(int count, const std::string& bytes) {
    steps += "repeat " + std::to_string(count) + " " + std::to_string(bytes.size()) + "\n" + bytes;
    return *this;
}

Answer& Answer::Drop() {
    steps += "drop\n";
    return *this;
}

std::string Reply(const char* status, const std::string& body, const std::string& headers) {
    return std::string("HTTP/1.1 ") + status +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
           headers + "\r\n" + body;
}

void Script(std::initializer_list<Answer> answers) {
    std::string s = "script\n";
    for (const Answer& a : answers)
        s += "answer\n" + a.steps;
    REQUIRE(Control(s) == "ok\n");
}

void AnswerEach(const std::string& bytes, int pauseMs) {
    Answer answer;
    if (pauseMs) answer.Sleep(pauseMs);
    Script({answer.Send(bytes)});
}

std::vector<std::string> Received() {
    const std::string log = Control("log\n");
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
        const size_t nl = log.find('\n', pos);
        if (nl == std::string::npos) break;
        const size_t n = std::strtoul(log.c_str() + pos, nullptr, 10);
        out.push_back(log.substr(nl + 1, n));
        pos = nl + 1 + n;
    }
    return out;
}

} // namespace scripted
