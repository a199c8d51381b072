#include "lmsim_process.h"
#include "process.h"

namespace qsmtest {

LmsimProcess::~LmsimProcess()
{
    Stop();
}

std::wstring LmsimProcess::Path()
{
    return ExeDir() + L"..\\tools\\lmsim.exe";
}

bool LmsimProcess::Start(const std::wstring& arguments, DWORD timeoutMs)
{
    Stop();
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE hWrite = nullptr;
    if (!CreatePipe(&m_hRead, &hWrite, &sa, 0))
        return false;
    SetHandleInformation(m_hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    std::wstring commandLine = L"\"" + Path() + L"\" --port 0 " + arguments;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    // Only the child holds the write end now: the reader sees the end of output.
    CloseHandle(hWrite);
    if (!started)
        return false;
    CloseHandle(pi.hThread);
    m_hProcess = pi.hProcess;
    m_Reader = std::thread([this] { Read(); });

    const std::string prefix = "lmsim: listening on 127.0.0.1:";
    if (!WaitForCount(prefix, 1, timeoutMs))
        return false;
    for (const std::string& line : Lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            m_Port = static_cast<DWORD>(std::stoul(line.substr(prefix.size())));
    }
    return m_Port != 0;
}

void LmsimProcess::Read()
{
    std::string pending;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(m_hRead, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        pending.append(chunk, got);
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pending.erase(0, end + 1);
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Lines.push_back(line);
        }
    }
}

void LmsimProcess::Stop()
{
    if (m_hProcess) {
        TerminateProcess(m_hProcess, 9);
        WaitForSingleObject(m_hProcess, 5000);
    }
    // The pipe breaks when the process is gone, which ends the reader.
    if (m_Reader.joinable())
        m_Reader.join();
    if (m_hProcess)
        CloseHandle(m_hProcess);
    if (m_hRead)
        CloseHandle(m_hRead);
    m_hProcess = nullptr;
    m_hRead = nullptr;
    m_Port = 0;
}

std::vector<std::string> LmsimProcess::Lines() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Lines;
}

size_t LmsimProcess::CountContaining(const std::string& part) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    size_t count = 0;
    for (const std::string& line : m_Lines)
        count += line.find(part) != std::string::npos ? 1 : 0;
    return count;
}

bool LmsimProcess::WaitForCount(const std::string& part, size_t count, DWORD timeoutMs) const
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (CountContaining(part) < count) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

} // namespace qsmtest
