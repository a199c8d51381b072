#pragma once
// The least a language monitor can be: one thread, one readiness wait over the
// listener and every connection, and each two-byte request answered at once from
// a fixed table. Product and floor both talk to it.
#include "win.h"
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class Answerer {
public:
    Answerer();
    ~Answerer();
    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;

    uint16_t Port() const { return m_Port; }
    void SetInk(int level) { m_Ink = level; }
    // Stalled: requests are read and never answered.
    void SetStalled(bool stalled) { m_Stalled = stalled; }
    int Connections() const { return m_Live; }
    long Requests() const { return m_Requests; }
    // When the send of the last log answer returned (QueryPerformanceCounter).
    LONGLONG LastLogSent() const { return m_LastLogSent; }

    // The answer to a request with this command byte.
    std::string AnswerTo(uint8_t command) const;

    static constexpr uint32_t kLogAnswerBytes = 326656;

private:
    struct Peer {
        SOCKET socket;
        std::string pending;
    };
    void Run();
    bool Serve(Peer& peer); // false when the peer has gone

    SOCKET m_Listener;
    uint16_t m_Port;
    std::string m_Log;
    std::vector<Peer> m_Peers;
    std::atomic<bool> m_Stop;
    std::atomic<int> m_Ink;
    std::atomic<bool> m_Stalled;
    std::atomic<int> m_Live;
    std::atomic<long> m_Requests;
    std::atomic<LONGLONG> m_LastLogSent;
    std::thread m_Thread;
};

} // namespace bench
