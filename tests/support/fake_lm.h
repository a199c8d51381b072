#pragma once
#include "lmserver/lmserver.h"
#include <deque>
#include <map>
#include <mutex>

namespace qsmtest {

using LmReply = lmserver::Reply;

namespace detail {
// The tests' script, shared by every connection; built before the server starts.
struct LmScript {
    std::mutex mutex;
    std::map<uint8_t, LmReply> standing;
    std::map<uint8_t, std::deque<LmReply>> queued;
    LmReply Pick(uint8_t command)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::deque<LmReply>& replies = queued[command];
        if (replies.empty())
            return standing.count(command) ? standing[command] : LmReply::Silence();
        LmReply reply = replies.front();
        replies.pop_front();
        return reply;
    }
};
} // namespace detail

// The language-monitor double of the tests: silence for every command until told
// otherwise. Requests are the protocol's two bytes (command, index).
class FakeLanguageMonitor : private detail::LmScript, public lmserver::Server {
public:
    FakeLanguageMonitor() : Server([this](unsigned) { return [this](uint8_t c, uint8_t) { return Pick(c); }; }) {}

    // Reaction to every request with this command byte.
    void OnCommand(uint8_t command, const LmReply& reply) { Locked([&] { standing[command] = reply; }); }
    // A one-shot reaction to the next request with this command, taken before OnCommand's.
    void Queue(uint8_t command, const LmReply& reply) { Locked([&] { queued[command].push_back(reply); }); }

private:
    template <class F>
    void Locked(F change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change();
    }
};

} // namespace qsmtest
