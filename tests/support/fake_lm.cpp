#include "fake_lm.h"
#include <cstring>

namespace qsmtest {

namespace {
constexpr long kSliceUs = 10000;

bool Readable(SOCKET s, long microseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval timeout{0, microseconds};
    return select(0, &set, nullptr, nullptr, &timeout) > 0;
}

void SendAll(SOCKET s, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}
} // namespace

FakeLanguageMonitor::FakeLanguageMonitor()
    : m_Port(0), m_Listener(INVALID_SOCKET), m_hWake(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hRefused(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_Stop(false), m_RefuseWanted(false), m_Accepted(0),
      m_Closed(0)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_Listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(m_Listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(m_Listener, 8);
    int length = sizeof address;
    getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_Port = ntohs(address.sin_port);
    m_Thread = std::thread([this] { Serve(); });
}

FakeLanguageMonitor::~FakeLanguageMonitor()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    SetEvent(m_hWake);
    m_Thread.join();
    if (m_Listener != INVALID_SOCKET)
        closesocket(m_Listener);
    CloseHandle(m_hWake);
    CloseHandle(m_hRefused);
    WSACleanup();
}

void FakeLanguageMonitor::OnCommand(uint8_t command, const LmReply& reply)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Defaults[command] = reply;
}

void FakeLanguageMonitor::Queue(uint8_t command, const LmReply& reply)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Queued[command].push_back(reply);
}

void FakeLanguageMonitor::QueueNext(const LmReply& reply)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Next.push_back(reply);
}

std::vector<std::string> FakeLanguageMonitor::Requests() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Requests;
}

std::string FakeLanguageMonitor::Commands() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::string commands;
    for (const std::string& r : m_Requests)
        commands += r[0];
    return commands;
}

size_t FakeLanguageMonitor::CountCommand(uint8_t command) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    size_t n = 0;
    for (const std::string& r : m_Requests)
        n += static_cast<uint8_t>(r[0]) == command ? 1 : 0;
    return n;
}

void FakeLanguageMonitor::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Requests.clear();
}

bool FakeLanguageMonitor::WaitFor(const std::function<bool()>& pred, DWORD timeoutMs) const
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(2);
    }
}

bool FakeLanguageMonitor::WaitForRequests(size_t count, DWORD timeoutMs) const
{
    return WaitFor([&] { return Requests().size() >= count; }, timeoutMs);
}

int FakeLanguageMonitor::Accepted() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Accepted;
}

int FakeLanguageMonitor::Closed() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Closed;
}

bool FakeLanguageMonitor::WaitForClosed(int count, DWORD timeoutMs) const
{
    return WaitFor([&] { return Closed() >= count; }, timeoutMs);
}

std::vector<FakeLanguageMonitor::ReplyTime> FakeLanguageMonitor::ReplyTimes() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_ReplyTimes;
}

void FakeLanguageMonitor::Refuse()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_RefuseWanted = true;
    }
    SetEvent(m_hWake);
    WaitForSingleObject(m_hRefused, 10000);
}

bool FakeLanguageMonitor::Interrupted() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Stop || m_RefuseWanted;
}

bool FakeLanguageMonitor::HandleRefusal()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_RefuseWanted)
        return false;
    m_RefuseWanted = false;
    if (m_Listener != INVALID_SOCKET) {
        closesocket(m_Listener);
        m_Listener = INVALID_SOCKET;
    }
    if (!m_Stop)
        ResetEvent(m_hWake);
    SetEvent(m_hRefused);
    return true;
}

void FakeLanguageMonitor::Serve()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Stop)
                return;
        }
        HandleRefusal();
        if (m_Listener == INVALID_SOCKET) {
            WaitForSingleObject(m_hWake, 10);
            continue;
        }
        if (!Readable(m_Listener, kSliceUs))
            continue;
        const SOCKET connection = accept(m_Listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            continue;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            ++m_Accepted;
        }
        ServeConnection(connection);
        closesocket(connection);
        std::lock_guard<std::mutex> lock(m_Mutex);
        ++m_Closed;
    }
}

void FakeLanguageMonitor::ServeConnection(SOCKET connection)
{
    std::string pending;
    char buffer[4096];
    while (!Interrupted()) {
        if (!Readable(connection, kSliceUs))
            continue;
        const int n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            return; // the client closed
        pending.append(buffer, static_cast<size_t>(n));
        while (pending.size() >= 2) {
            const std::string request = pending.substr(0, 2);
            pending.erase(0, 2);
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Requests.push_back(request);
            }
            if (React(connection, request) == Outcome::Close)
                return;
        }
    }
}

LmReply FakeLanguageMonitor::Pick(uint8_t command)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Next.empty()) {
        LmReply reply = m_Next.front();
        m_Next.pop_front();
        return reply;
    }
    auto queued = m_Queued.find(command);
    if (queued != m_Queued.end() && !queued->second.empty()) {
        LmReply reply = queued->second.front();
        queued->second.pop_front();
        return reply;
    }
    auto standing = m_Defaults.find(command);
    return standing != m_Defaults.end() ? standing->second : LmReply::Silence();
}

FakeLanguageMonitor::Outcome FakeLanguageMonitor::React(SOCKET connection, const std::string& request)
{
    const LmReply reply = Pick(static_cast<uint8_t>(request[0]));
    for (const LmReply::Burst& burst : reply.bursts) {
        if (burst.delayMs && WaitForSingleObject(m_hWake, burst.delayMs) == WAIT_OBJECT_0)
            return Outcome::Close;
        SendAll(connection, burst.bytes);
    }
    if (!reply.bursts.empty()) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_ReplyTimes.push_back(ReplyTime{static_cast<uint8_t>(request[0]), now.QuadPart});
    }
    return reply.close ? Outcome::Close : Outcome::KeepOpen;
}

} // namespace qsmtest
