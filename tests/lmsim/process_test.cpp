// Runs the real lmsim.exe as a separate process and talks to it with the program's own socket client.
#include "bytes.h"
#include "socket.h"
#include "win.h"
#include <gtest/gtest.h>
#include <string>

using qsmtest::Bytes;

namespace {

// lmsim.exe (..\tools next to the tests) with its output in a pipe; ended with the test.
class Simulator {
public:
    explicit Simulator(const std::wstring& arguments)
    {
        wchar_t exe[MAX_PATH] = {};
        std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
        path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"..\\tools\\lmsim.exe";
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE hWrite = nullptr;
        if (!CreatePipe(&m_hRead, &hWrite, &sa, 0))
            return;
        SetHandleInformation(m_hRead, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = hWrite;
        std::wstring commandLine = L"\"" + path + L"\" " + arguments;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                           &pi)) {
            m_hProcess = pi.hProcess;
            CloseHandle(pi.hThread);
        }
        CloseHandle(hWrite);
    }
    ~Simulator()
    {
        if (m_hProcess) {
            TerminateProcess(m_hProcess, 9);
            WaitForSingleObject(m_hProcess, 5000);
            CloseHandle(m_hProcess);
        }
        if (m_hRead)
            CloseHandle(m_hRead);
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Started() const { return m_hProcess != nullptr; }

    // The next output line without its line end; false after timeoutMs or at the end of output.
    bool ReadLine(std::string& line, DWORD timeoutMs)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        for (;;) {
            const size_t end = m_Buffered.find('\n');
            if (end != std::string::npos) {
                line = m_Buffered.substr(0, end > 0 && m_Buffered[end - 1] == '\r' ? end - 1 : end);
                m_Buffered.erase(0, end + 1);
                return true;
            }
            DWORD available = 0;
            if (!PeekNamedPipe(m_hRead, nullptr, 0, nullptr, &available, nullptr))
                return false; // the process has gone and the pipe is drained
            char chunk[4096];
            DWORD got = 0;
            if (available && ReadFile(m_hRead, chunk, sizeof chunk, &got, nullptr))
                m_Buffered.append(chunk, got);
            else if (GetTickCount64() >= deadline)
                return false;
            else
                Sleep(10);
        }
    }

    bool WaitForLine(const std::string& part, DWORD timeoutMs)
    {
        std::string line;
        while (ReadLine(line, timeoutMs))
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }

    // Exit code once the process has ended within timeoutMs, else -1000.
    long ExitCode(DWORD timeoutMs)
    {
        DWORD code = 0;
        if (WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(m_hProcess, &code))
            return -1000;
        return static_cast<long>(code);
    }

private:
    HANDLE m_hRead = nullptr;
    HANDLE m_hProcess = nullptr;
    std::string m_Buffered;
};

} // namespace

TEST(LmsimProcess, ServesConnectionsSideBySideAndEndsAfterItsDuration)
{
    Simulator sim(L"--port 0 --scenario static --printers 2 --duration 3");
    ASSERT_TRUE(sim.Started()) << "lmsim.exe not found next to the tests";
    const std::string prefix = "lmsim: listening on 127.0.0.1:";
    std::string line;
    ASSERT_TRUE(sim.ReadLine(line, 10000));
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const uint32_t port = static_cast<uint32_t>(std::stoul(line.substr(prefix.size())));

    SocketAPI first, second;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(second.Connect(port));
    EXPECT_EQ(first.SocketRequestData(Bytes({1, 0}), 1500, 0), Bytes({0x81, 0x00, 0x48}));
    EXPECT_TRUE(sim.WaitForLine("conn 1 idx 0 cmd 1 -> 0x81 ink 72", 5000));
    // Each printer has its own values; an index past them gets the bare answer.
    EXPECT_EQ(second.SocketRequestData(Bytes({9, 1}), 1500, 0), Bytes({0x89, 0x00, 0x2D, 0x01}));
    EXPECT_EQ(second.SocketRequestData(Bytes({1, 2}), 1500, 0), Bytes({0x81, 0x00}));
    // The whole default log arrives, 326656 bytes with the header.
    const std::string log = first.SocketRequestData(Bytes({4, 0}), 1500, 326656);
    EXPECT_EQ(log.size(), 326656u);
    EXPECT_EQ(log.substr(0, 6), std::string("\x84\x00QLOG", 6));
    EXPECT_TRUE(sim.WaitForLine("cmd 4 -> 0x84 log 326654 bytes [5 bursts]", 5000));

    EXPECT_EQ(sim.ExitCode(10000), 0);
    // Its end closed the connections.
    EXPECT_EQ(first.SocketRequestData(Bytes({1, 0}), 1000, 0), "");
    EXPECT_TRUE(first.HasError());
}

TEST(LmsimProcess, UsageAndBadArguments)
{
    const struct {
        const wchar_t* arguments;
        const char* firstLine;
        long exitCode;
    } cases[] = {
        {L"--help", "usage: lmsim.exe --port N [options]", 0},
        {L"--port 0 --fault sometimes", "lmsim: bad value for --fault: \"sometimes\"", 2},
    };
    for (const auto& c : cases) {
        Simulator sim(c.arguments);
        ASSERT_TRUE(sim.Started());
        std::string line;
        ASSERT_TRUE(sim.ReadLine(line, 10000));
        EXPECT_EQ(line, c.firstLine);
        EXPECT_EQ(sim.ExitCode(10000), c.exitCode);
    }
}
