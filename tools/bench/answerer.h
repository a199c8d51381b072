#pragma once
// The least a language monitor can be: each two-byte request answered at once from a
// fixed table. Product and floor both talk to it.
#include "lmserver/lmserver.h"

namespace bench {

class Answerer {
public:
    Answerer();

    uint16_t Port() const { return m_Server.Port(); }
    void SetInk(int level) { m_Ink = level; }
    // Stalled: requests are read and never answered.
    void SetStalled(bool stalled) { m_Stalled = stalled; }
    int Connections() const { return m_Server.Live(); }
    long Requests() const { return m_Server.RequestCount(); }
    // When the send of the last log answer returned (QueryPerformanceCounter).
    LONGLONG LastLogSent() const { return m_Server.LastReplyTime(4); }

    // The answer to a request with this command byte.
    std::string AnswerTo(uint8_t command) const;

    static constexpr uint32_t kLogAnswerBytes = 326656;

private:
    std::string m_Log;
    std::atomic<int> m_Ink{50};
    std::atomic<bool> m_Stalled{false};
    lmserver::Server m_Server; // last: its threads use the members above
};

} // namespace bench
