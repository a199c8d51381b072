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
    std::deque<LmReply> next;
    LmReply Pick(uint8_t command);
};
} // namespace detail

// The language-monitor double of the tests: silence for every command until told
// otherwise. Requests are the protocol's two bytes (command, index).
class FakeLanguageMonitor : private detail::LmScript, public lmserver::Server {
public:
    FakeLanguageMonitor() : Server([this](unsigned) { return [this](uint8_t c, uint8_t) { return Pick(c); }; }) {}

    // Reaction to every request with this command byte.
    void OnCommand(uint8_t command, const LmReply& reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        standing[command] = reply;
    }
    // One-shot reactions, taken before OnCommand's: for the next request with this
    // command, or (QueueNext) for the next request of any command.
    void Queue(uint8_t command, const LmReply& reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        queued[command].push_back(reply);
    }
    void QueueNext(const LmReply& reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        next.push_back(reply);
    }
};

} // namespace qsmtest
