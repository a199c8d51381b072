#pragma once
#include "win.h"
#include <cstdint>
#include <memory>
#include <string>

// TCP client to the driver's language monitor. These classes throw plain narrow
// texts ("Could not start WSA", "INVALID_SOCKET"), not mrvException.

// Owns a TCP socket handle. Copies share the handle; the last copy closes it.
// Each live object holds one reference on the process's Windows Sockets start-up.
class Socket {
public:
    Socket();
    Socket(const Socket& other);
    Socket& operator=(const Socket&) = delete;
    virtual ~Socket();

    // Collects what is readable in 1024-byte chunks. count is the number of
    // bytes received, or all bits set when the peer closed or recv failed.
    std::string Receive(uint32_t& count);
    // The same, but stops reading once more than limit bytes have come.
    std::string Receive(uint32_t& count, uint32_t limit);
    void Send(const std::string& data);

    SOCKET GetHandle() const;
    // Closes the handle now (shared by all copies); later calls and the last
    // release do not close it again. Returns closesocket's result.
    int CloseHandleNow();

    // Live Socket objects of the process (for diagnostics and tests).
    static int32_t GetLiveCount();

private:
    struct Shared;
    static void AcquireWinsock();
    static void ReleaseWinsock();
    // After a full chunk: true when more can be received without blocking;
    // waiting gets the bytes known to be buffered.
    bool MoreReadable(u_long& waiting) const;

    Shared* m_pShared;
};

class SocketClient : public Socket {
public:
    // With hCancel, the connect ends as failed as soon as the event is set (and
    // after kConnectWaitMs at the latest) instead of when the stack gives up.
    bool TryConnection(const char* host, uint32_t port, HANDLE hCancel = nullptr);

    static constexpr uint32_t kConnectWaitMs = 5000;
};

// One readiness wait on up to 64 sockets. A failed wait call counts as not ready.
class SocketSelect {
public:
    explicit SocketSelect(const Socket& first, const Socket* second = nullptr);

    bool Read(long seconds, long microseconds);
    bool Write(long seconds, long microseconds);
    // True when the last wait call itself failed (not a time-out).
    bool HasFailed() const { return m_Failed; }

private:
    void Add(SOCKET handle);

    fd_set m_Set;
    bool m_Failed;
};

// One request/answer exchange at a time on one connection.
class SocketAPI {
public:
    SocketAPI();
    ~SocketAPI();
    SocketAPI(const SocketAPI&) = delete;
    SocketAPI& operator=(const SocketAPI&) = delete;

    bool Connect(uint32_t port);
    // Collects at most expectedLength plus one receive chunk, or kAnswerLimit for
    // an answer of no expected length; more is a broken connection.
    std::string SocketRequestData(const std::string& request, int32_t timeoutMs, uint32_t expectedLength);
    static constexpr uint32_t kAnswerLimit = 8192;
    int Close();

    // Set once a send or receive found the connection broken; never cleared.
    bool HasError() const { return m_Error; }
    // Every readiness wait ends as "nothing ready" once this event is signalled
    // (not owned; null for none).
    void SetCancelEvent(HANDLE hEvent)
    {
        m_hCancel = hEvent;
        m_CancelSeen = hEvent != nullptr;
    }

private:
    enum class Readiness { Read, Write };
    bool Wait(Readiness what, uint64_t microseconds);
    bool IsCancelled() const;

    bool m_Error;
    std::unique_ptr<SocketClient> m_pClient;
    HANDLE m_hCancel;
    bool m_CancelSeen; // the event was set when last asked (or is new)
};
