#include "lmserver/lmserver.h"
#include <algorithm>
#include <stdexcept>

namespace lmserver {

namespace {

std::runtime_error SocketError(const std::string& what)
{
    return std::runtime_error(what + " (WSAGetLastError()=" + std::to_string(WSAGetLastError()) + ")");
}

// Waits for the socket's event or the stop; false on the stop. Resets the socket's event.
bool WaitSocket(SOCKET socket, HANDLE event, HANDLE stop, DWORD timeoutMs = INFINITE)
{
    const HANDLE handles[] = {stop, event};
    if (WaitForMultipleObjects(2, handles, FALSE, timeoutMs) == WAIT_OBJECT_0)
        return false;
    WSANETWORKEVENTS events;
    WSAEnumNetworkEvents(socket, event, &events);
    return true;
}

} // namespace

Server::Server(ScriptFactory scripts, Options options)
    : m_Options(std::move(options)), m_Scripts(std::move(scripts)),
      m_hStop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    for (auto& time : m_LastReply)
        time = 0;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw std::runtime_error("Windows Sockets do not start");
    try {
        m_Listener.Reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!m_Listener.IsValid())
            throw SocketError("can't create a socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_Options.port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_Listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            throw SocketError("can't bind 127.0.0.1:" + std::to_string(m_Options.port));
        if (listen(m_Listener.Get(), SOMAXCONN) != 0)
            throw SocketError("can't listen");
        int length = sizeof address;
        if (getsockname(m_Listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw SocketError("can't read the port");
        m_Port = ntohs(address.sin_port);
        m_AcceptThread = std::thread([this] { Accept(); });
    } catch (...) {
        m_Listener.Reset();
        WSACleanup();
        throw;
    }
}

Server::~Server()
{
    Refuse();
    WSACleanup();
}

void Server::Refuse()
{
    SetEvent(m_hStop.Get());
    if (m_AcceptThread.joinable())
        m_AcceptThread.join();
}

void Server::Trace(const std::string& text) const
{
    if (m_Options.trace)
        m_Options.trace(text);
}

void Server::Accept()
{
    mrvAPI::mrvKernelHandle event(WSACreateEvent());
    WSAEventSelect(m_Listener.Get(), event.Get(), FD_ACCEPT);
    const size_t most = m_Options.oneThread ? std::min<size_t>(m_Options.maxConnections, 62) : m_Options.maxConnections;
    for (;;) {
        std::vector<HANDLE> handles{m_hStop.Get(), event.Get()};
        for (const Connection& connection : m_Connections)
            if (m_Options.oneThread && !connection.done)
                handles.push_back(connection.event.Get());
        if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 1000) == WAIT_OBJECT_0)
            break;
        for (Connection& connection : m_Connections)
            if (m_Options.oneThread && !connection.done && !Step(connection))
                Finish(connection);
        WSANETWORKEVENTS events;
        WSAEnumNetworkEvents(m_Listener.Get(), event.Get(), &events);
        Reap(false);
        for (;;) {
            OwnedSocket client(accept(m_Listener.Get(), nullptr, nullptr));
            if (!client.IsValid())
                break;
            ++m_Accepted;
            if (m_Connections.size() >= most) {
                Trace("too many connections, refusing one");
                ++m_Closed;
                continue;
            }
            // Answers are small and each is one burst: no waiting for more to fill a segment.
            const BOOL noDelay = TRUE;
            setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                       sizeof noDelay);
            m_Connections.emplace_back();
            Connection& connection = m_Connections.back();
            connection.id = m_NextId++;
            connection.socket = std::move(client);
            connection.script = m_Scripts(connection.id);
            connection.event.Reset(WSACreateEvent());
            WSAEventSelect(connection.socket.Get(), connection.event.Get(), FD_READ | FD_WRITE | FD_CLOSE);
            Trace("conn " + std::to_string(connection.id) + " open");
            if (m_Options.oneThread) {
                if (!Step(connection))
                    Finish(connection);
                continue;
            }
            connection.thread = std::thread([this, &connection] {
                while (Step(connection) && WaitSocket(connection.socket.Get(), connection.event.Get(), m_hStop.Get())) {
                }
                Finish(connection);
            });
        }
    }
    m_Listener.Reset();
    Reap(true);
}

void Server::Reap(bool all)
{
    for (auto it = m_Connections.begin(); it != m_Connections.end();) {
        if (all || it->done) {
            if (it->thread.joinable())
                it->thread.join();
            it = m_Connections.erase(it);
        } else {
            ++it;
        }
    }
}

void Server::Finish(Connection& connection)
{
    connection.socket.Reset();
    ++m_Closed;
    connection.done = true;
}

bool Server::Step(Connection& connection)
{
    const std::string prefix = "conn " + std::to_string(connection.id);
    const SOCKET s = connection.socket.Get();
    WSANETWORKEVENTS events;
    WSAEnumNetworkEvents(s, connection.event.Get(), &events);
    for (;;) {
        char buffer[4096];
        const int got = recv(s, buffer, sizeof buffer, 0);
        if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK)
            return true;
        if (got <= 0) {
            Trace(prefix + " closed by the peer");
            return false;
        }
        // Requests have no length field: every two bytes are one request.
        std::string& pending = connection.pending;
        pending.append(buffer, static_cast<size_t>(got));
        size_t used = 0;
        for (; pending.size() - used >= 2; used += 2) {
            const std::string request = pending.substr(used, 2);
            ++m_RequestCount;
            if (m_Options.logRequests) {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Requests.push_back(request);
            }
            const Reply reply = connection.script(static_cast<uint8_t>(request[0]), static_cast<uint8_t>(request[1]));
            if (!Play(connection, reply))
                return false;
            if (!reply.bursts.empty()) {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                m_LastReply[static_cast<uint8_t>(request[0])] = now.QuadPart;
            }
            if (reply.close) {
                Trace(prefix + " closed");
                return false;
            }
        }
        pending.erase(0, used);
    }
}

bool Server::Play(Connection& connection, const Reply& reply)
{
    const SOCKET s = connection.socket.Get();
    const HANDLE event = connection.event.Get();
    const auto sendAll = [&](const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
                if (!WaitSocket(s, event, m_hStop.Get()))
                    return false;
                continue;
            }
            if (n == SOCKET_ERROR) {
                Trace("conn " + std::to_string(connection.id) + " send failed, closing");
                return false;
            }
            sent += static_cast<size_t>(n);
        }
        return true;
    };
    for (const Reply::Burst& burst : reply.bursts) {
        if (burst.delayMs && WaitForSingleObject(m_hStop.Get(), burst.delayMs) == WAIT_OBJECT_0)
            return false;
        if (!sendAll(burst.bytes))
            return false;
    }
    while (!reply.endless.empty())
        if (!sendAll(reply.endless))
            return false;
    return true;
}

std::vector<std::string> Server::Requests() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Requests;
}

std::string Server::Commands() const
{
    std::string commands;
    for (const std::string& r : Requests())
        commands += r[0];
    return commands;
}

size_t Server::CountCommand(uint8_t command) const
{
    const std::string commands = Commands();
    return static_cast<size_t>(std::count(commands.begin(), commands.end(), static_cast<char>(command)));
}

void Server::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Requests.clear();
}

bool Server::WaitFor(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(2);
    }
    return true;
}

bool Server::WaitForRequests(size_t count, DWORD timeoutMs) const
{
    return WaitFor([&] { return Requests().size() >= count; }, timeoutMs);
}

bool Server::WaitForClosed(int count, DWORD timeoutMs) const
{
    return WaitFor([&] { return Closed() >= count; }, timeoutMs);
}

} // namespace lmserver
