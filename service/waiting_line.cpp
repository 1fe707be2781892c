#include "waiting_line.h"

#include <algorithm>

namespace speech {

std::optional<WaitingConnection> WaitingLine::Push(WaitingConnection c) {
    if (limit_ == 0) return c;
    std::optional<WaitingConnection> out;
    if (size_ >= limit_) {
        auto longest = byClient_.begin();
        for (auto it = byClient_.begin(); it != byClient_.end(); ++it)
            if (it->second.size() > longest->second.size()) longest = it;
        auto own = byClient_.find(c.client);
        std::size_t ownCount = own == byClient_.end() ? 0 : own->second.size();
        if (ownCount >= longest->second.size()) return c;
        out = std::move(longest->second.back());
        longest->second.pop_back();
        --size_;
        if (longest->second.empty()) Forget(std::string(longest->first));
    }
    auto& line = byClient_[c.client];
    if (line.empty()) turn_.push_back(c.client);
    line.push_back(std::move(c));
    ++size_;
    return out;
}

std::optional<WaitingConnection> WaitingLine::Pop() {
    if (turn_.empty()) return std::nullopt;
    std::string client = std::move(turn_.front());
    turn_.pop_front();
    auto it = byClient_.find(client);
    WaitingConnection c = std::move(it->second.front());
    it->second.pop_front();
    --size_;
    if (it->second.empty())
        byClient_.erase(it);
    else
        turn_.push_back(std::move(client));
    return c;
}

std::vector<WaitingConnection> WaitingLine::Expire(std::chrono::steady_clock::time_point cutoff) {
    std::vector<WaitingConnection> out;
    std::vector<std::string> emptied;
    for (auto& [client, line] : byClient_) {
        while (!line.empty() && line.front().arrived < cutoff) {
            out.push_back(std::move(line.front()));
            line.pop_front();
            --size_;
        }
        if (line.empty()) emptied.push_back(client);
    }
    for (const auto& client : emptied)
        Forget(client);
    return out;
}

std::optional<std::chrono::steady_clock::time_point> WaitingLine::Oldest() const {
    std::optional<std::chrono::steady_clock::time_point> t;
    for (const auto& [client, line] : byClient_)
        if (!t || line.front().arrived < *t) t = line.front().arrived;
    return t;
}

void WaitingLine::Forget(const std::string& client) {
    byClient_.erase(client);
    if (auto it = std::find(turn_.begin(), turn_.end(), client); it != turn_.end()) turn_.erase(it);
}

} // namespace speech
