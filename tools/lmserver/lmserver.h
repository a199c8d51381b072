#pragma once
// A scriptable stand-in for the driver's language monitor on 127.0.0.1: the simulator,
// the benchmark and the tests all serve through it. One thread accepts, one thread per
// connection reads the two-byte requests (command, index) and plays the reply that the
// script returns for each.
#include "handle.h"
#include "win.h"
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lmserver {

struct Reply {
    struct Burst {
        DWORD delayMs; // pause before these bytes
        std::string bytes;
    };
    std::vector<Burst> bursts; // none: silence
    bool close = false;        // close the connection after the bursts
    std::string endless;       // sent over and over after the bursts, until the peer goes

    static Reply Answer(const std::string& bytes) { return Reply().Then(0, bytes); }
    static Reply Silence() { return Reply(); }
    static Reply Hangup() { return Reply().AndClose(); }
    Reply& Then(DWORD delayMs, const std::string& bytes)
    {
        bursts.push_back(Burst{delayMs, bytes});
        return *this;
    }
    Reply& AndClose()
    {
        close = true;
        return *this;
    }
};

// The replies of one connection; it may keep state of its own.
using Script = std::function<Reply(uint8_t command, uint8_t index)>;
// Makes the script of connection id (1, 2, ...).
using ScriptFactory = std::function<Script(unsigned id)>;

struct SocketTraits {
    static SOCKET Empty() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
    static void Close(SOCKET s) { closesocket(s); }
};
using OwnedSocket = mrvAPI::mrvHandle<SOCKET, SocketTraits>;

class Server {
public:
    struct Options {
        uint16_t port = 0;          // 0: the system picks one
        size_t maxConnections = 64; // more are accepted and closed at once
        bool logRequests = true;    // keep every request for Requests()
        // Serve every connection from the accepting thread: no thread of its own per
        // connection (the benchmark counts the process's threads), but a reply's delay
        // holds up the others. At most 62 connections then.
        bool oneThread = false;
        std::function<void(const std::string&)> trace; // connection events, e.g. "conn 2 open"
    };

    // Listens at once; throws std::runtime_error when it cannot.
    Server(ScriptFactory scripts, Options options);
    explicit Server(ScriptFactory scripts) : Server(std::move(scripts), Options()) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    uint16_t Port() const { return m_Port; }

    std::vector<std::string> Requests() const;
    std::string Commands() const; // the command bytes of all requests, in order
    size_t CountCommand(uint8_t command) const;
    void ClearRequests();
    long RequestCount() const { return m_RequestCount; } // also when not logged
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;

    int Accepted() const { return m_Accepted; }
    int Closed() const { return m_Closed; }
    int Live() const { return m_Accepted - m_Closed; }
    bool WaitForClosed(int count, DWORD timeoutMs) const;

    // When the last burst of the latest reply to this command went out (QueryPerformanceCounter; 0: never).
    LONGLONG LastReplyTime(uint8_t command) const { return m_LastReply[command]; }

    // Stops listening (later connects are refused) and closes every connection.
    void Refuse();

private:
    struct Connection {
        unsigned id;
        OwnedSocket socket;
        Script script;
        mrvAPI::mrvKernelHandle event; // the socket's network events
        std::string pending;           // a lone byte waits for its partner
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void Accept();
    bool Step(Connection& connection); // false when the connection has ended
    void Finish(Connection& connection);
    bool Play(Connection& connection, const Reply& reply);
    void Reap(bool all);
    void Trace(const std::string& text) const;
    static bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs);

    Options m_Options;
    ScriptFactory m_Scripts;
    OwnedSocket m_Listener;
    uint16_t m_Port = 0;
    mrvAPI::mrvKernelHandle m_hStop; // manual reset: refusal or shutdown
    std::thread m_AcceptThread;
    std::list<Connection> m_Connections; // only the accept thread touches it while it runs
    unsigned m_NextId = 1;

    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Requests;
    std::atomic<long> m_RequestCount{0};
    std::atomic<int> m_Accepted{0};
    std::atomic<int> m_Closed{0};
    std::atomic<LONGLONG> m_LastReply[256];
};

} // namespace lmserver
