#pragma once
#include "win.h"
#include <string>

namespace qsmtest {

// The folder of the running test program, with a trailing backslash.
std::wstring ExeDir();

// A child process, killed on destruction if it still runs.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine is passed as is (quote the program path yourself).
    bool Start(const std::wstring& commandLine);
    // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD Wait(DWORD timeoutMs);
    bool IsRunning() const;
    void Kill();
    DWORD Pid() const { return m_Info.dwProcessId; }

private:
    PROCESS_INFORMATION m_Info = {};
};

} // namespace qsmtest
