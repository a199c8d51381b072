// Runs the real lmsim.exe as a separate process and talks to it over loopback.
#include "win.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::wstring SimulatorPath()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    dir.resize(dir.find_last_of(L"\\/") + 1);
    return dir + L"..\\tools\\lmsim.exe";
}

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : m_h(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_h; }
    HANDLE* Out() { return &m_h; }
    void Reset()
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h;
};

// lmsim.exe with its standard output and error in a pipe; terminated when the test ends.
class Simulator {
public:
    explicit Simulator(const std::wstring& arguments)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        Handle writeEnd;
        if (!CreatePipe(m_Read.Out(), writeEnd.Out(), &sa, 0))
            return;
        SetHandleInformation(m_Read.Get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = writeEnd.Get();
        si.hStdError = writeEnd.Get();
        si.hStdInput = nullptr;
        std::wstring commandLine = L"\"" + SimulatorPath() + L"\" " + arguments;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                           &pi)) {
            *m_Process.Out() = pi.hProcess;
            CloseHandle(pi.hThread);
        }
    }
    ~Simulator()
    {
        if (m_Process.Get() && WaitForSingleObject(m_Process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_Process.Get(), 9);
            WaitForSingleObject(m_Process.Get(), 5000);
        }
    }

    bool Started() const { return m_Process.Get() != nullptr; }

    // The next line of output without its line end; false after timeoutMs or at the end of output.
    bool ReadLine(std::string& line, DWORD timeoutMs)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        for (;;) {
            const size_t end = m_Buffered.find('\n');
            if (end != std::string::npos) {
                line = m_Buffered.substr(0, end);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                m_Buffered.erase(0, end + 1);
                return true;
            }
            DWORD available = 0;
            if (!PeekNamedPipe(m_Read.Get(), nullptr, 0, nullptr, &available, nullptr))
                return false; // the process has gone and the pipe is drained
            if (available) {
                char chunk[4096];
                DWORD got = 0;
                if (!ReadFile(m_Read.Get(), chunk, sizeof chunk, &got, nullptr))
                    return false;
                m_Buffered.append(chunk, got);
            } else if (GetTickCount64() >= deadline) {
                return false;
            } else {
                Sleep(10);
            }
        }
    }

    // Reads lines until one contains part.
    bool WaitForLine(const std::string& part, DWORD timeoutMs)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        std::string line;
        while (GetTickCount64() < deadline) {
            if (!ReadLine(line, static_cast<DWORD>(deadline - GetTickCount64())))
                return false;
            if (line.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

    int ListeningPort()
    {
        std::string line;
        const std::string prefix = "lmsim: listening on 127.0.0.1:";
        if (!ReadLine(line, 10000) || line.compare(0, prefix.size(), prefix) != 0)
            return -1;
        return std::stoi(line.substr(prefix.size()));
    }

    // Exit code once the process has ended within timeoutMs, else -1000.
    long ExitCode(DWORD timeoutMs)
    {
        if (WaitForSingleObject(m_Process.Get(), timeoutMs) != WAIT_OBJECT_0)
            return -1000;
        DWORD code = 0;
        GetExitCodeProcess(m_Process.Get(), &code);
        return static_cast<long>(code);
    }

    std::string RestOfOutput(DWORD timeoutMs)
    {
        std::string all, line;
        while (ReadLine(line, timeoutMs))
            all += line + "\n";
        return all;
    }

private:
    Handle m_Read;
    Handle m_Process;
    std::string m_Buffered;
};

class Client {
public:
    Client()
    {
        WSADATA data;
        m_Started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Client()
    {
        if (m_Socket != INVALID_SOCKET)
            closesocket(m_Socket);
        if (m_Started)
            WSACleanup();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Connect(int port)
    {
        m_Socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(m_Socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    // Sends one request and collects until `want` bytes came, the peer closed, or no
    // data arrived for quietMs.
    std::string Ask(int command, int index, size_t want, DWORD quietMs = 1500)
    {
        const char request[] = {static_cast<char>(command), static_cast<char>(index)};
        send(m_Socket, request, 2, 0);
        return Collect(want, quietMs);
    }

    std::string Collect(size_t want, DWORD quietMs)
    {
        std::string answer;
        while (answer.size() < want) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(m_Socket, &set);
            timeval timeout{static_cast<long>(quietMs / 1000), static_cast<long>(quietMs % 1000) * 1000};
            if (select(0, &set, nullptr, nullptr, &timeout) <= 0)
                break;
            char chunk[8192];
            const int got = recv(m_Socket, chunk, sizeof chunk, 0);
            if (got <= 0) {
                m_Closed = true;
                break;
            }
            answer.append(chunk, static_cast<size_t>(got));
        }
        return answer;
    }

    bool PeerClosed() const { return m_Closed; }

private:
    bool m_Started = false;
    bool m_Closed = false;
    SOCKET m_Socket = INVALID_SOCKET;
};

} // namespace

TEST(LmsimProcess, AnswersOnAFreePortAndLogsEachRequest)
{
    Simulator sim(L"--port 0 --scenario static --printers 2");
    ASSERT_TRUE(sim.Started()) << "lmsim.exe not found next to the tests";
    const int port = sim.ListeningPort();
    ASSERT_GT(port, 0);

    Client first, second;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(second.Connect(port));
    EXPECT_EQ(first.Ask(1, 0, 3), std::string("\x81\x00\x48", 3));
    EXPECT_TRUE(sim.WaitForLine("conn 1 idx 0 cmd 1 -> 0x81 ink 72", 5000));
    // Both connections are served at once, each printer with its own values.
    EXPECT_EQ(second.Ask(9, 1, 4), std::string("\x89\x00\x2D\x01", 4));
    EXPECT_EQ(first.Ask(9, 0, 4), std::string("\x89\x00\x2C\x01", 4));
    EXPECT_EQ(second.Ask(1, 2, 3), std::string("\x81\x00", 2)); // not one of the two printers

    // The whole default log arrives, 326656 bytes with the header.
    const std::string log = first.Ask(4, 0, 326656, 3000);
    EXPECT_EQ(log.size(), 326656u);
    EXPECT_EQ(log.substr(0, 6), std::string("\x84\x00QLOG", 6));
    EXPECT_TRUE(sim.WaitForLine("cmd 4 -> 0x84 log 326654 bytes [5 bursts]", 5000));
}

TEST(LmsimProcess, EndsAfterItsDurationAndClosesTheConnections)
{
    Simulator sim(L"--port 0 --duration 2 --quiet --fault silence");
    ASSERT_TRUE(sim.Started());
    const int port = sim.ListeningPort();
    ASSERT_GT(port, 0);
    Client client;
    ASSERT_TRUE(client.Connect(port));
    // Silence: nothing comes back, and the connection stays until the end.
    EXPECT_EQ(client.Ask(1, 0, 1, 500), "");
    EXPECT_FALSE(client.PeerClosed());
    EXPECT_EQ(sim.ExitCode(10000), 0);
    EXPECT_EQ(client.Collect(1, 3000), "");
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(sim.RestOfOutput(500), ""); // --quiet: the port line only
}

TEST(LmsimProcess, UsageAndBadArguments)
{
    Simulator help(L"--help");
    ASSERT_TRUE(help.Started());
    std::string line;
    ASSERT_TRUE(help.ReadLine(line, 10000));
    EXPECT_EQ(line, "usage: lmsim.exe --port N [options]");
    EXPECT_EQ(help.ExitCode(10000), 0);

    Simulator bad(L"--port 0 --fault sometimes");
    ASSERT_TRUE(bad.Started());
    ASSERT_TRUE(bad.ReadLine(line, 10000));
    EXPECT_EQ(line, "lmsim: bad value for --fault: \"sometimes\"");
    EXPECT_EQ(bad.ExitCode(10000), 2);
}
