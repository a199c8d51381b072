#pragma once
#include "win.h"
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qsmtest {

// How the fake language monitor reacts to one request.
struct LmReply {
    struct Burst {
        DWORD delayMs; // wait before this burst
        std::string bytes;
    };
    std::vector<Burst> bursts; // none: silence
    bool close = false;        // close the connection after the bursts

    static LmReply Answer(const std::string& bytes) { return LmReply().Then(0, bytes); }
    static LmReply Silence() { return LmReply(); }
    static LmReply Hangup() { return LmReply().AndClose(); }
    LmReply& Then(DWORD delayMs, const std::string& bytes)
    {
        bursts.push_back(Burst{delayMs, bytes});
        return *this;
    }
    LmReply& AndClose()
    {
        close = true;
        return *this;
    }
};

// A scripted stand-in for the driver's language monitor: a listener on
// 127.0.0.1 (port chosen by the system) that serves one connection at a time
// in its own thread. Requests are the protocol's two bytes (command, index).
class FakeLanguageMonitor {
public:
    FakeLanguageMonitor();
    ~FakeLanguageMonitor();
    FakeLanguageMonitor(const FakeLanguageMonitor&) = delete;
    FakeLanguageMonitor& operator=(const FakeLanguageMonitor&) = delete;

    uint16_t Port() const { return m_Port; }

    // Reaction to every request with this command byte; silence when none is set.
    void OnCommand(uint8_t command, const LmReply& reply);
    // One-shot reactions, taken before OnCommand's: for the next request with this
    // command, or (QueueNext) for the next request of any command.
    void Queue(uint8_t command, const LmReply& reply);
    void QueueNext(const LmReply& reply);

    std::vector<std::string> Requests() const;
    std::string Commands() const; // the command bytes of all requests, in order
    size_t CountCommand(uint8_t command) const;
    void ClearRequests();
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;

    int Accepted() const;
    int Closed() const;
    bool WaitForClosed(int count, DWORD timeoutMs) const;

    // Stops listening (later connects are refused) and drops the current connection.
    void Refuse();

    // When the last burst of each reply was sent (QueryPerformanceCounter), in order.
    struct ReplyTime {
        uint8_t command;
        LONGLONG counter;
    };
    std::vector<ReplyTime> ReplyTimes() const;

private:
    enum class Outcome { KeepOpen, Close };

    void Serve();
    void ServeConnection(SOCKET connection);
    Outcome React(SOCKET connection, const std::string& request);
    LmReply Pick(uint8_t command);
    bool Interrupted() const; // stop or refusal pending
    bool HandleRefusal();
    bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs) const;

    uint16_t m_Port;
    SOCKET m_Listener;
    HANDLE m_hWake; // set on stop and on a refusal
    HANDLE m_hRefused;
    std::thread m_Thread;

    mutable std::mutex m_Mutex;
    bool m_Stop;
    bool m_RefuseWanted;
    std::map<uint8_t, LmReply> m_Defaults;
    std::map<uint8_t, std::deque<LmReply>> m_Queued;
    std::deque<LmReply> m_Next;
    std::vector<std::string> m_Requests;
    std::vector<ReplyTime> m_ReplyTimes;
    int m_Accepted;
    int m_Closed;
};

} // namespace qsmtest
