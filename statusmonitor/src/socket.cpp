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
    count = 0;
    std::string answer;
    char buffer[kChunk];
    for (;;) {
        const int received = recv(m_pShared->handle, buffer, kChunk, 0);
        if (received < 1) {
            count = kAllBits;
            return answer;
        }
        count += static_cast<uint32_t>(received);
        answer.append(buffer, static_cast<size_t>(received));
        if (received < kChunk)
            return answer;
        // A full chunk may be all there is; ask again only if more is already here.
        SocketSelect more(*this);
        if (!more.Read(0, 0))
            return answer;
    }
}

void Socket::Send(const std::string& data)
{
    send(m_pShared->handle, data.data(), static_cast<int>(data.size()), 0);
}

bool SocketClient::TryConnection(const char* host, uint32_t port)
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
    return connect(GetHandle(), reinterpret_cast<const sockaddr*>(&address), 16) == 0;
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

SocketAPI::SocketAPI() : m_Error(false), m_pClient(new (std::nothrow) SocketClient()), m_hCancel(nullptr)
{
}

SocketAPI::~SocketAPI() = default;

bool SocketAPI::Connect(uint32_t port)
{
    if (!m_pClient)
        return false;
    return m_pClient->TryConnection("localhost", port);
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
    for (;;) {
        const uint64_t elapsed = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        const uint64_t left = microseconds > elapsed ? microseconds - elapsed : 0;
        const bool cancelled = IsCancelled();
        // Readiness that is already there still counts after a cancel; only waiting is cut.
        const uint64_t slice = cancelled ? 0 : (m_hCancel ? std::min(left, kSliceUs) : left);
        SocketSelect select(*m_pClient);
        const long seconds = static_cast<long>(slice / 1000000);
        const long micro = static_cast<long>(slice % 1000000);
        if (what == Readiness::Read ? select.Read(seconds, micro) : select.Write(seconds, micro))
            return true;
        if (select.HasFailed() || cancelled || left <= slice)
            return false;
    }
}

std::string SocketAPI::SocketRequestData(const std::string& request, int32_t timeoutMs, uint32_t expectedLength)
{
    std::string answer;
    if (!m_pClient || m_pClient->GetHandle() == INVALID_SOCKET) {
        m_Error = true;
        return answer;
    }

    uint32_t count = 0;
    if (Wait(Readiness::Read, 1000))
        m_pClient->Receive(count); // stale bytes of an abandoned answer

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
    for (;;) {
        if (!Wait(Readiness::Read, 5000000)) {
            DebugOut("SocketAPI::SocketRequestData Break 2");
            return answer;
        }
        answer += m_pClient->Receive(count);
        if (count == kAllBits) {
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
