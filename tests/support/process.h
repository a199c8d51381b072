#pragma once
// No <mutex> or <thread> here: this header shadows the system's <process.h>, which
// the runtime's thread headers include.
#include "handle.h"
#include "lock.h"
#include <string>
#include <vector>

namespace qsmtest {

// The folder of the running test program, with a trailing backslash.
std::wstring ExeDir();

// A child process, killed on destruction if it still runs. With captureOutput its
// standard output and error are collected line by line.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine is passed as is (quote the program path yourself).
    bool Start(const std::wstring& commandLine, bool captureOutput = false);
    // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD Wait(DWORD timeoutMs);
    bool IsRunning() const { return m_hProcess.IsValid() && WaitForSingleObject(m_hProcess.Get(), 0) == WAIT_TIMEOUT; }
    void Kill();
    DWORD Pid() const { return m_Pid; }

    std::vector<std::string> Lines() const;
    size_t CountContaining(const std::string& part) const;
    // Waits until at least count lines contain part.
    bool WaitForCount(const std::string& part, size_t count, DWORD timeoutMs) const;

private:
    static DWORD WINAPI Read(void* self);

    mrvAPI::mrvKernelHandle m_hProcess;
    mrvAPI::mrvKernelHandle m_hRead;
    DWORD m_Pid = 0;
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
    bool Start(const std::wstring& arguments, DWORD timeoutMs = 10000);
    DWORD Port() const { return m_Port; }
    // The simulator next to the test programs: <exe folder>..\tools\lmsim.exe.
    static std::wstring Path() { return ExeDir() + L"..\\tools\\lmsim.exe"; }

private:
    DWORD m_Port = 0;
};

} // namespace qsmtest
