// gethostbyname is the look-up this client is meant to use; keep MSVC quiet about it.
#ifndef _WINSOCK_DEPRECATED_NO_WARNINGS
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#endif
#include "socket.h"
#include "debug.h"
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

using mrvAPI::DebugOut;
using mrvAPI::mrvDebugLine;

namespace {

constexpr uint32_t kAllBits = 0xFFFFFFFFu;
constexpr int kChunk = 1024;
// Slices of a cancellable wait: short enough that a stop is seen at once,
// long enough to cost nothing while idle.
constexpr uint64_t kSliceUs = 20000;

// The live count and the start-up or clean-up that depends on it change as one step.
SRWLOCK g_WinsockLock = SRWLOCK_INIT;
int32_t g_LiveSockets = 0;

class WinsockGuard {
public:
    WinsockGuard() { AcquireSRWLockExclusive(&g_WinsockLock); }
    ~WinsockGuard() { ReleaseSRWLockExclusive(&g_WinsockLock); }
    WinsockGuard(const WinsockGuard&) = delete;
    WinsockGuard& operator=(const WinsockGuard&) = delete;
};

} // namespace

struct Socket::Shared {
    SOCKET handle;
    uint32_t refs;
};

void Socket::AcquireWinsock()
{
    WinsockGuard guard;
    if (g_LiveSockets == 0) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 0), &data) != 0)
            throw "Could not start WSA";
    }
    ++g_LiveSockets;
}

void Socket::ReleaseWinsock()
{
    WinsockGuard guard;
    if (--g_LiveSockets == 0)
        WSACleanup();
}

int32_t Socket::GetLiveCount()
{
    WinsockGuard guard;
    return g_LiveSockets;
}

Socket::Socket() : m_pShared(nullptr)
{
    AcquireWinsock();
    const SOCKET handle = socket(AF_INET, SOCK_STREAM, 0);
    if (handle == INVALID_SOCKET) {
        ReleaseWinsock();
        throw "INVALID_SOCKET";
    }
    m_pShared = new (std::nothrow) Shared{handle, 1};
    if (!m_pShared) {
        closesocket(handle);
        ReleaseWinsock();
        throw "INVALID_SOCKET";
    }
}

Socket::Socket(const Socket& other) : m_pShared(other.m_pShared)
{
    AcquireWinsock();
    ++m_pShared->refs;
}

Socket::~Socket()
{
    if (--m_pShared->refs == 0) {
        if (m_pShared->handle != INVALID_SOCKET && closesocket(m_pShared->handle) != 0)
            DebugOut("Socket::~Socket close socket failed!\n");
        delete m_pShared;
    }
    ReleaseWinsock();
}

SOCKET Socket::GetHandle() const
{
    return m_pShared->handle;
}

int Socket::CloseHandleNow()
{
    if (m_pShared->handle == INVALID_SOCKET)
        return 0;
    const int result = closesocket(m_pShared->handle);
    m_pShared->handle = INVALID_SOCKET;
    return result;
}

std::string Socket::Receive(uint32_t& count)
{
    return Receive(count, kAllBits);
}

std::string Socket::Receive(uint32_t& count, uint32_t limit)
{
    count = 0;
    std::string answer;
    char buffer[kChunk];
    // Bytes known to be readable beyond those taken so far: asked once per burst
    // rather than once per chunk, which a large answer (the log) pays 300 times.
    u_long waiting = 0;
    for (;;) {
        const int received = recv(m_pShared->handle, buffer, kChunk, 0);
        if (received < 1) {
            count = kAllBits;
            return answer;
        }
        count += static_cast<uint32_t>(received);
        answer.append(buffer, static_cast<size_t>(received));
        if (received < kChunk || count > limit)
            return answer;
        // A full chunk may be all there is; ask again only if more is already here.
        waiting = waiting > static_cast<u_long>(kChunk) ? waiting - kChunk : 0;
        if (waiting == 0 && !MoreReadable(waiting))
            return answer;
    }
}

bool Socket::MoreReadable(u_long& waiting) const
{
    if (ioctlsocket(m_pShared->handle, FIONREAD, &waiting) != 0)
        waiting = 0;
    if (waiting > 0)
        return true;
    // Nothing buffered: still readable when the peer has closed, which the next
    // receive then reports.
    SocketSelect more(*this);
    return more.Read(0, 0);
}

void Socket::Send(const std::string& data)
{
    send(m_pShared->handle, data.data(), static_cast<int>(data.size()), 0);
}

bool SocketClient::TryConnection(const char* host, uint32_t port, HANDLE hCancel)
{
    const hostent* entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0])
        return false;
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    std::memcpy(&address.sin_addr, entry->h_addr_list[0],
                std::min<size_t>(sizeof address.sin_addr, static_cast<size_t>(entry->h_length)));
    const SOCKET handle = GetHandle();
    if (!hCancel)
        return connect(handle, reinterpret_cast<const sockaddr*>(&address), 16) == 0;

    // A refused loopback connect takes the stack about a second of retries, a
    // listener with a full backlog far longer: wait in slices that see the cancel.
    u_long nonBlocking = 1;
    if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0)
        return false;
    bool connected = connect(handle, reinterpret_cast<const sockaddr*>(&address), 16) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        const ULONGLONG end = GetTickCount64() + kConnectWaitMs;
        while (WaitForSingleObject(hCancel, 0) != WAIT_OBJECT_0 && GetTickCount64() < end) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(handle, &writable);
            FD_SET(handle, &failed);
            timeval slice{0, static_cast<long>(kSliceUs)};
            const int ready = select(0, nullptr, &writable, &failed, &slice);
            if (ready == SOCKET_ERROR)
                break;
            if (ready == 0)
                continue;
            int error = 0;
            int length = sizeof error;
            connected = FD_ISSET(handle, &writable) &&
                        getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
                        error == 0;
            break;
        }
    }
    // The exchange that follows relies on blocking sends and receives.
    u_long blocking = 0;
    ioctlsocket(handle, FIONBIO, &blocking);
    return connected;
}

SocketSelect::SocketSelect(const Socket& first, const Socket* second) : m_Failed(false)
{
    FD_ZERO(&m_Set);
    Add(first.GetHandle());
    if (second)
        Add(second->GetHandle());
}

void SocketSelect::Add(SOCKET handle)
{
    for (u_int i = 0; i < m_Set.fd_count; ++i)
        if (m_Set.fd_array[i] == handle)
            return;
    if (m_Set.fd_count < FD_SETSIZE)
        m_Set.fd_array[m_Set.fd_count++] = handle;
}

bool SocketSelect::Read(long seconds, long microseconds)
{
    fd_set ready = m_Set; // select rewrites the set it is given
    timeval timeout{seconds, microseconds};
    const int result = select(0, &ready, nullptr, nullptr, &timeout);
    m_Failed = result == SOCKET_ERROR;
    if (m_Failed)
        DebugOut("SocketSelect Read ERROR SOCKET_ERROR\n");
    return result > 0;
}

bool SocketSelect::Write(long seconds, long microseconds)
{
    fd_set ready = m_Set;
    timeval timeout{seconds, microseconds};
    const int result = select(0, nullptr, &ready, nullptr, &timeout);
    m_Failed = result == SOCKET_ERROR;
    if (m_Failed)
        DebugOut("SocketSelect Write ERROR SOCKET_ERROR\n");
    return result > 0;
}

SocketAPI::SocketAPI()
    : m_Error(false), m_pClient(new (std::nothrow) SocketClient()), m_hCancel(nullptr), m_CancelSeen(false)
{
}

SocketAPI::~SocketAPI() = default;

bool SocketAPI::Connect(uint32_t port)
{
    if (!m_pClient)
        return false;
    return m_pClient->TryConnection("localhost", port, m_hCancel);
}

int SocketAPI::Close()
{
    if (!m_pClient)
        return SOCKET_ERROR;
    return m_pClient->CloseHandleNow();
}

bool SocketAPI::IsCancelled() const
{
    return m_hCancel && WaitForSingleObject(m_hCancel, 0) == WAIT_OBJECT_0;
}

bool SocketAPI::Wait(Readiness what, uint64_t microseconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    // Asking the event costs a system call; ask only before a wait that has to go
    // on, or while a cancel seen earlier may still hold.
    bool cancelled = m_CancelSeen && IsCancelled();
    m_CancelSeen = cancelled;
    for (;;) {
        const uint64_t elapsed = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        const uint64_t left = microseconds > elapsed ? microseconds - elapsed : 0;
        // Readiness that is already there still counts after a cancel; only waiting is cut.
        const uint64_t slice = cancelled ? 0 : (m_hCancel ? std::min(left, kSliceUs) : left);
        SocketSelect select(*m_pClient);
        const long seconds = static_cast<long>(slice / 1000000);
        const long micro = static_cast<long>(slice % 1000000);
        if (what == Readiness::Read ? select.Read(seconds, micro) : select.Write(seconds, micro))
            return true;
        if (select.HasFailed() || cancelled || left <= slice)
            return false;
        cancelled = m_CancelSeen = IsCancelled();
    }
}

std::string SocketAPI::SocketRequestData(const std::string& request, int32_t timeoutMs, uint32_t expectedLength)
{
    std::string answer;
    if (!m_pClient || m_pClient->GetHandle() == INVALID_SOCKET) {
        m_Error = true;
        return answer;
    }

    const uint32_t limit = expectedLength ? expectedLength + kChunk : kAnswerLimit;
    uint32_t count = 0;
    if (Wait(Readiness::Read, 1000)) {
        m_pClient->Receive(count, limit); // stale bytes of an abandoned answer
        // A peer that never stops sending is no monitor to talk to.
        if (count != kAllBits && count > limit) {
            m_Error = true;
            DebugOut("SocketAPI::SocketRequestData Break 1");
            return answer;
        }
    }

    if (!Wait(Readiness::Write, 1000000)) {
        // A stop is not a broken connection.
        if (!IsCancelled())
            m_Error = true;
        return answer;
    }
    m_pClient->Send(request);

    const uint64_t firstWaitUs = timeoutMs > 0 ? static_cast<uint64_t>(timeoutMs) * 1000 : 0;
    if (!Wait(Readiness::Read, firstWaitUs))
        return answer;

    uint32_t total = 0;
    // The first data has just been found readable; it stays so until received.
    bool readable = true;
    for (;;) {
        if (!readable && !Wait(Readiness::Read, 5000000)) {
            DebugOut("SocketAPI::SocketRequestData Break 2");
            return answer;
        }
        readable = false;
        answer += m_pClient->Receive(count, limit - total);
        // More than can belong to the answer is a broken connection as well.
        if (count == kAllBits || total + count > limit) {
            m_Error = true;
            DebugOut("SocketAPI::SocketRequestData Break 1");
            return std::string();
        }
        total += count;
        mrvDebugLine() << "SocketAPI::SocketRequestData " << total << " < " << expectedLength;
        if (total >= expectedLength)
            return answer;
    }
}
