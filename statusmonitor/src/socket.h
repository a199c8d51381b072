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

    Shared* m_pShared;
};

class SocketClient : public Socket {
public:
    bool TryConnection(const char* host, uint32_t port);
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
    std::string SocketRequestData(const std::string& request, int32_t timeoutMs, uint32_t expectedLength);
    int Close();

    // Set once a send or receive found the connection broken; never cleared.
    bool HasError() const { return m_Error; }
    // Every readiness wait ends as "nothing ready" once this event is signalled
    // (not owned; null for none).
    void SetCancelEvent(HANDLE hEvent) { m_hCancel = hEvent; }

private:
    enum class Readiness { Read, Write };
    bool Wait(Readiness what, uint64_t microseconds);
    bool IsCancelled() const;

    bool m_Error;
    std::unique_ptr<SocketClient> m_pClient;
    HANDLE m_hCancel;
};
