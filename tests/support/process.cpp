#include "process.h"
#include <vector>

namespace qsmtest {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

ChildProcess::~ChildProcess()
{
    Kill();
}

bool ChildProcess::Start(const std::wstring& commandLine)
{
    Kill();
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_Info)) {
        m_Info = {};
        return false;
    }
    return true;
}

DWORD ChildProcess::Wait(DWORD timeoutMs)
{
    if (!m_Info.hProcess)
        return STILL_ACTIVE;
    WaitForSingleObject(m_Info.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_Info.hProcess, &code);
    return code;
}

bool ChildProcess::IsRunning() const
{
    return m_Info.hProcess && WaitForSingleObject(m_Info.hProcess, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill()
{
    if (!m_Info.hProcess)
        return;
    if (IsRunning()) {
        TerminateProcess(m_Info.hProcess, 99);
        WaitForSingleObject(m_Info.hProcess, 5000);
    }
    CloseHandle(m_Info.hProcess);
    CloseHandle(m_Info.hThread);
    m_Info = {};
}

} // namespace qsmtest
