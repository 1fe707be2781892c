// The client side of tests/app/web_test_server.py, the scripted HTTP server
// a ctest fixture starts beside a test program: which ports it took, what it
// is to answer next, and what it received. The fixture writes the ports to
// web_server\ports in the test program's folder.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace scripted {

// A port of the fixture: "http" (scripted), "control", "refused" (bound,
// never listening) or "service" (the local speech service); 0 when the
// ports file has no such line (the service was not built, say).
int Port(const char* name);

// "http://127.0.0.1:<http port>" followed by path.
std::string HttpAddress(const std::string& path = "");

// One control request, answered in full; the test fails when the control
// port does not take it.
std::string Control(const std::string& request);

// One connection's answer, step by step.
struct Answer {
    std::string steps;
    Answer& Send(const std::string& bytes);
    Answer& Sleep(int ms);
    // The same bytes count times: a body longer than any client reads.
    Answer& Repeat(int count, const std::string& bytes);
    // Closes the connection at once.
    Answer& Drop();
};

// A whole HTTP answer: status line ("404 Not Found"), Content-Length,
// "Connection: close", any further header lines (each ending in CRLF), body.
std::string Reply(const char* status, const std::string& body, const std::string& headers = "");

// The answers for the next connections, in order (the last one repeats);
// empties the request log.
void Script(std::initializer_list<Answer> answers);

// Every connection is answered with these bytes, after a pause.
void AnswerEach(const std::string& bytes, int pauseMs = 0);

// Every request received since the script, raw, in arrival order.
std::vector<std::string> Received();

} // namespace scripted
