#pragma once
// The Winsock side of the simulator: a loopback listener and one thread per connection.
#include "lmsim/faults.h"
#include "handle.h"
#include "lmsim/options.h"
#include "lmsim/scenario.h"
#include "lock.h"
#include "thread.h"
#include "win.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lmsim {

class OwnedSocket {
public:
    explicit OwnedSocket(SOCKET socket = INVALID_SOCKET) : m_Socket(socket) {}
    ~OwnedSocket() { Close(); }
    OwnedSocket(OwnedSocket&& other) noexcept : m_Socket(other.m_Socket) { other.m_Socket = INVALID_SOCKET; }
    OwnedSocket& operator=(OwnedSocket&& other) noexcept;
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;

    SOCKET Get() const { return m_Socket; }
    bool IsValid() const { return m_Socket != INVALID_SOCKET; }
    void Close();

private:
    SOCKET m_Socket;
};

class WinsockSession {
public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool IsStarted() const { return m_Started; }

private:
    bool m_Started;
};

// Standard output shared by the connection threads; every line is flushed at once
// so that a test reading the pipe sees it.
class Console {
public:
    explicit Console(bool quiet) : m_Lock("lmsim console"), m_Quiet(quiet) {}

    void Line(const std::string& text);  // always
    void Trace(const std::string& text); // unless quiet

private:
    mrvAPI::mrvCriticalSection m_Lock;
    bool m_Quiet;
};

class Connection : public mrvAPI::mrvThread {
public:
    Connection(unsigned id, OwnedSocket socket, const Scenario& scenario, const Options& options, Console& console,
               ULONGLONG startTick);
    ~Connection() override;

protected:
    DWORD ThreadProc() override;

private:
    bool Serve(uint8_t command, uint8_t index);
    bool Execute(const Plan& plan);
    bool SendAll(const std::string& bytes);

    unsigned m_Id;
    OwnedSocket m_Socket;
    Session m_Session;
    FaultShaper m_Shaper;
    Console& m_Console;
    ULONGLONG m_StartTick;
};

class Server {
public:
    Server(const Options& options, Console& console);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1:port and returns the port in use; throws std::runtime_error.
    uint16_t Listen(uint16_t port);
    // Serves until stopEvent is set or durationMs (0: no limit) has passed, then
    // stops every connection and closes the sockets.
    void Run(HANDLE stopEvent, ULONGLONG durationMs);

private:
    void Accept();
    void Reap(bool all);

    const Options& m_Options;
    Console& m_Console;
    Scenario m_Scenario;
    OwnedSocket m_Listener;
    ULONGLONG m_StartTick;
    unsigned m_NextId = 1;
    std::vector<std::unique_ptr<Connection>> m_Connections;
};

} // namespace lmsim
