#include "lmsim/server.h"
#include "exception.h"
#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace lmsim {

namespace {

// Every wait is cut into steps of this length so that a stop is seen quickly.
constexpr long kPollUs = 100 * 1000;
constexpr DWORD kStopWaitMs = 2000;
constexpr size_t kMaxConnections = 64;
constexpr int kSendChunk = 65536;

bool WaitReady(SOCKET socket, bool forWrite)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{0, kPollUs};
    const int ready = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &timeout);
    return ready > 0;
}

std::string Hex(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

} // namespace

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_Socket = other.m_Socket;
        other.m_Socket = INVALID_SOCKET;
    }
    return *this;
}

void OwnedSocket::Close()
{
    if (m_Socket != INVALID_SOCKET) {
        closesocket(m_Socket);
        m_Socket = INVALID_SOCKET;
    }
}

WinsockSession::WinsockSession()
{
    WSADATA data;
    m_Started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession()
{
    if (m_Started)
        WSACleanup();
}

void Console::Line(const std::string& text)
{
    mrvAPI::mrvLock lock(&m_Lock);
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::Trace(const std::string& text)
{
    if (!m_Quiet)
        Line(text);
}

Connection::Connection(unsigned id, OwnedSocket socket, const Scenario& scenario, const Options& options,
                       Console& console, ULONGLONG startTick)
    : mrvThread("lmsim conn " + std::to_string(id)), m_Id(id), m_Socket(std::move(socket)), m_Session(scenario),
      m_Shaper(options.fault, options.stallAfter, options.seed + id), m_Console(console), m_StartTick(startTick)
{
}

Connection::~Connection()
{
    // Before the members go: the thread uses them.
    Stop(kStopWaitMs);
}

DWORD Connection::ThreadProc()
{
    const std::string prefix = "conn " + std::to_string(m_Id);
    m_Console.Trace(prefix + " open");
    std::string pending;
    bool open = true;
    while (open && !IsStopRequested()) {
        if (!WaitReady(m_Socket.Get(), false))
            continue;
        char buffer[512];
        const int got = recv(m_Socket.Get(), buffer, sizeof buffer, 0);
        if (got <= 0) {
            m_Console.Trace(prefix + " closed by the peer");
            break;
        }
        // Requests have no length field: every two bytes are one request, and a
        // lone byte waits for its partner.
        pending.append(buffer, static_cast<size_t>(got));
        size_t used = 0;
        for (; open && pending.size() - used >= 2; used += 2)
            open = Serve(static_cast<uint8_t>(pending[used]), static_cast<uint8_t>(pending[used + 1]));
        pending.erase(0, used);
    }
    m_Socket.Close();
    return 0;
}

bool Connection::Serve(uint8_t command, uint8_t index)
{
    const Reply reply = m_Session.Answer(command, index, GetTickCount64() - m_StartTick);
    const Plan plan = m_Shaper.Shape(reply.bytes);
    std::string line = "conn " + std::to_string(m_Id) + " idx " + std::to_string(index) + " cmd " +
                       std::to_string(command) + " -> " + Hex(static_cast<uint8_t>(reply.bytes[0])) + " " + reply.note;
    if (!plan.note.empty())
        line += " [" + plan.note + "]";
    m_Console.Trace(line);
    if (!Execute(plan))
        return false;
    if (plan.close)
        m_Console.Trace("conn " + std::to_string(m_Id) + " closed");
    return !plan.close;
}

bool Connection::Execute(const Plan& plan)
{
    for (const Burst& burst : plan.bursts) {
        if (burst.delayMs && WaitForStop(burst.delayMs))
            return false;
        if (!SendAll(burst.bytes))
            return false;
    }
    while (!plan.endless.empty())
        if (!SendAll(plan.endless))
            return false;
    return true;
}

bool Connection::SendAll(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (IsStopRequested())
            return false;
        if (!WaitReady(m_Socket.Get(), true))
            continue;
        const int chunk = static_cast<int>(std::min<size_t>(bytes.size() - sent, kSendChunk));
        const int n = send(m_Socket.Get(), bytes.data() + sent, chunk, 0);
        if (n == SOCKET_ERROR) {
            m_Console.Trace("conn " + std::to_string(m_Id) + " send failed, closing");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

Server::Server(const Options& options, Console& console)
    : m_Options(options), m_Console(console), m_Scenario(options.scenario, options.logSize, options.printers),
      m_StartTick(GetTickCount64())
{
}

Server::~Server()
{
    Reap(true);
}

uint16_t Server::Listen(uint16_t port)
{
    OwnedSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener.IsValid())
        throw std::runtime_error("can't create a socket (WSAGetLastError()=" + std::to_string(WSAGetLastError()) + ")");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("can't bind 127.0.0.1:" + std::to_string(port) +
                                 " (WSAGetLastError()=" + std::to_string(WSAGetLastError()) + ")");
    if (listen(listener.Get(), SOMAXCONN) != 0)
        throw std::runtime_error("can't listen (WSAGetLastError()=" + std::to_string(WSAGetLastError()) + ")");
    int length = sizeof address;
    if (getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("can't read the port (WSAGetLastError()=" + std::to_string(WSAGetLastError()) + ")");
    m_Listener = std::move(listener);
    m_StartTick = GetTickCount64();
    return ntohs(address.sin_port);
}

void Server::Run(HANDLE stopEvent, ULONGLONG durationMs)
{
    const ULONGLONG start = GetTickCount64();
    while (WaitForSingleObject(stopEvent, 0) != WAIT_OBJECT_0) {
        if (durationMs && GetTickCount64() - start >= durationMs)
            break;
        if (WaitReady(m_Listener.Get(), false))
            Accept();
        Reap(false);
    }
    m_Listener.Close();
    Reap(true);
}

void Server::Accept()
{
    OwnedSocket client(accept(m_Listener.Get(), nullptr, nullptr));
    if (!client.IsValid())
        return;
    if (m_Connections.size() >= kMaxConnections) {
        m_Console.Trace("lmsim: too many connections, refusing one");
        return;
    }
    // Answers are small and each is one burst: no waiting for more to fill a segment.
    const BOOL noDelay = TRUE;
    setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    auto connection = std::make_unique<Connection>(m_NextId++, std::move(client), m_Scenario, m_Options, m_Console,
                                                   m_StartTick);
    try {
        connection->Start(THREAD_PRIORITY_NORMAL);
    } catch (const mrvAPI::mrvException&) {
        m_Console.Line("lmsim: can't start a connection thread");
        return;
    }
    m_Connections.push_back(std::move(connection));
}

void Server::Reap(bool all)
{
    for (auto it = m_Connections.begin(); it != m_Connections.end();) {
        if (all || (*it)->IsFinished())
            it = m_Connections.erase(it); // the destructor stops the thread
        else
            ++it;
    }
}

} // namespace lmsim
