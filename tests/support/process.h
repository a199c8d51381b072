#pragma once
// No <mutex> or <thread> here: this header shadows the system's <process.h>, which
// the runtime's thread headers include.
#include "handle.h"
#include "lock.h"
#include "pump.h"
#include <string>
#include <vector>

namespace qsmtest {

// The folder of the running test program, with a trailing backslash.
inline std::wstring ExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

// A child process, killed on destruction if it still runs. With captureOutput its
// standard output and error are collected line by line.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine is passed as is (quote the program path yourself).
    bool Start(const std::wstring& commandLine, bool captureOutput = false)
    {
        Kill();
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        mrvAPI::mrvKernelHandle hWrite;
        if (captureOutput && !CreatePipe(m_hRead.Receive(), hWrite.Receive(), &sa, 0))
            return false;
        SetHandleInformation(m_hRead.Get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = captureOutput ? STARTF_USESTDHANDLES : 0;
        si.hStdOutput = si.hStdError = hWrite.Get();
        std::wstring line = commandLine;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, captureOutput, captureOutput ? CREATE_NO_WINDOW : 0,
                            nullptr, nullptr, &si, &pi))
            return false;
        hWrite.Reset(); // only the child holds the write end now: the reader sees the end of output
        CloseHandle(pi.hThread);
        m_hProcess.Reset(pi.hProcess);
        if (captureOutput)
            m_hReader.Reset(CreateThread(nullptr, 0, &ChildProcess::Read, this, 0, nullptr));
        return true;
    }
    // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD Wait(DWORD timeoutMs)
    {
        DWORD code = STILL_ACTIVE;
        if (m_hProcess.IsValid() && WaitForSingleObject(m_hProcess.Get(), timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_hProcess.Get(), &code);
        return code;
    }
    bool IsRunning() const { return m_hProcess.IsValid() && WaitForSingleObject(m_hProcess.Get(), 0) == WAIT_TIMEOUT; }
    void Kill()
    {
        if (IsRunning()) {
            TerminateProcess(m_hProcess.Get(), 99);
            WaitForSingleObject(m_hProcess.Get(), 5000);
        }
        // The pipe breaks when the process is gone, which ends the reader.
        if (m_hReader.IsValid())
            WaitForSingleObject(m_hReader.Get(), INFINITE);
        m_hReader.Reset();
        m_hProcess.Reset();
        m_hRead.Reset();
    }

    std::vector<std::string> Lines() const
    {
        mrvAPI::mrvLock lock(&m_Lock);
        return m_Lines;
    }
    size_t CountContaining(const std::string& part) const
    {
        const std::vector<std::string> lines = Lines();
        return static_cast<size_t>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; }));
    }
    // Waits until at least count lines contain part.
    bool WaitForCount(const std::string& part, size_t count, DWORD timeoutMs) const
    {
        return PollUntil(timeoutMs, [&] { return CountContaining(part) >= count; });
    }

private:
    static DWORD WINAPI Read(void* self)
    {
        ChildProcess& child = *static_cast<ChildProcess*>(self);
        std::string pending;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(child.m_hRead.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
            pending.append(chunk, got);
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                mrvAPI::mrvLock lock(&child.m_Lock);
                child.m_Lines.push_back(pending.substr(0, end > 0 && pending[end - 1] == '\r' ? end - 1 : end));
            }
        }
        return 0;
    }

    mrvAPI::mrvKernelHandle m_hProcess;
    mrvAPI::mrvKernelHandle m_hRead;
    mrvAPI::mrvKernelHandle m_hReader;
    mutable mrvAPI::mrvCriticalSection m_Lock{"child output"};
    std::vector<std::string> m_Lines;
};

// build/tools/lmsim.exe on a port the system chooses:
//   LmsimProcess sim;
//   ASSERT_TRUE(sim.Start(L"--scenario static"));
//   registry.SetTcpPort(sim.Port());
class LmsimProcess : public ChildProcess {
public:
    // Starts "lmsim --port 0 <arguments>" and waits for its listening line.
    bool Start(const std::wstring& arguments, DWORD timeoutMs = 10000)
    {
        const std::string prefix = "lmsim: listening on 127.0.0.1:";
        m_Port = 0;
        if (ChildProcess::Start(L"\"" + Path() + L"\" --port 0 " + arguments, true) && WaitForCount(prefix, 1, timeoutMs))
            for (const std::string& line : Lines())
                if (line.compare(0, prefix.size(), prefix) == 0)
                    m_Port = static_cast<DWORD>(std::stoul(line.substr(prefix.size())));
        return m_Port != 0;
    }
    DWORD Port() const { return m_Port; }
    // The simulator next to the test programs: <exe folder>..\tools\lmsim.exe.
    static std::wstring Path() { return ExeDir() + L"..\\tools\\lmsim.exe"; }

private:
    DWORD m_Port = 0;
};

} // namespace qsmtest
