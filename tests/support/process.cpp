#include "process.h"

namespace qsmtest {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

bool ChildProcess::Start(const std::wstring& commandLine, bool captureOutput)
{
    Kill();
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    mrvAPI::mrvKernelHandle hWrite;
    if (captureOutput) {
        if (!CreatePipe(m_hRead.Receive(), hWrite.Receive(), &sa, 0))
            return false;
        SetHandleInformation(m_hRead.Get(), HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (captureOutput) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = hWrite.Get();
    }
    std::wstring line = commandLine;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, captureOutput, captureOutput ? CREATE_NO_WINDOW : 0,
                        nullptr, nullptr, &si, &pi))
        return false;
    // Only the child holds the write end now: the reader sees the end of output.
    hWrite.Reset();
    CloseHandle(pi.hThread);
    m_hProcess.Reset(pi.hProcess);
    m_Pid = pi.dwProcessId;
    if (captureOutput)
        m_hReader.Reset(CreateThread(nullptr, 0, &ChildProcess::Read, this, 0, nullptr));
    return true;
}

DWORD ChildProcess::Wait(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (m_hProcess.IsValid() && WaitForSingleObject(m_hProcess.Get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_hProcess.Get(), &code);
    return code;
}

void ChildProcess::Kill()
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
    m_Pid = 0;
}

DWORD WINAPI ChildProcess::Read(void* self)
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

std::vector<std::string> ChildProcess::Lines() const
{
    mrvAPI::mrvLock lock(&m_Lock);
    return m_Lines;
}

size_t ChildProcess::CountContaining(const std::string& part) const
{
    size_t count = 0;
    for (const std::string& line : Lines())
        count += line.find(part) != std::string::npos ? 1 : 0;
    return count;
}

bool ChildProcess::WaitForCount(const std::string& part, size_t count, DWORD timeoutMs) const
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (CountContaining(part) < count) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

bool LmsimProcess::Start(const std::wstring& arguments, DWORD timeoutMs)
{
    m_Port = 0;
    const std::string prefix = "lmsim: listening on 127.0.0.1:";
    if (!ChildProcess::Start(L"\"" + Path() + L"\" --port 0 " + arguments, true) ||
        !WaitForCount(prefix, 1, timeoutMs))
        return false;
    for (const std::string& line : Lines())
        if (line.compare(0, prefix.size(), prefix) == 0)
            m_Port = static_cast<DWORD>(std::stoul(line.substr(prefix.size())));
    return m_Port != 0;
}

} // namespace qsmtest
