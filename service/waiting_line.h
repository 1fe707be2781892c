// Connections accepted while every connection slot is taken wait here until
// one frees. Each client address has its own line; slots go round the
// clients in turn, and within one client in order of arrival, so a client
// holding many connections cannot starve one that holds a single one.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace speech {

struct WaitingConnection {
    int fd = -1;
    std::string client; // whom slots are shared out by: an address, or an IPv6 /64
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    std::chrono::steady_clock::time_point arrived;
};

class WaitingLine {
  public:
    explicit WaitingLine(std::size_t limit) : limit_(limit) {}

    // Queues a connection. When the line is full the newest connection of the
    // client with the most waiting is pushed out and returned, to be turned
    // away; that is the newcomer itself when its own client has the most.
    std::optional<WaitingConnection> Push(WaitingConnection c);
    // The next connection in turn, if any.
    std::optional<WaitingConnection> Pop();
    // Takes out every connection that arrived before `cutoff`.
    std::vector<WaitingConnection> Expire(std::chrono::steady_clock::time_point cutoff);
    // When the connection waiting longest arrived.
    std::optional<std::chrono::steady_clock::time_point> Oldest() const;
    std::size_t Size() const { return size_; }

  private:
    void Forget(const std::string& client);

    std::size_t limit_;
    std::size_t size_ = 0;
    std::map<std::string, std::deque<WaitingConnection>> byClient_;
    std::deque<std::string> turn_; // clients with connections waiting, next first
};

} // namespace speech
