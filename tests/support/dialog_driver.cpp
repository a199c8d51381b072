#include "dialog_driver.h"
#include "window_probe.h"

namespace qsmtest {

DialogDriver::DialogDriver(std::wstring prefix, std::function<UINT(HWND)> act)
    : m_Prefix(std::move(prefix)), m_Act(std::move(act)), m_Stop(false), m_Seen(0)
{
    m_Thread = std::thread([this] { Run(); });
}

DialogDriver::~DialogDriver()
{
    Stop();
}

void DialogDriver::Stop()
{
    m_Stop = true;
    if (m_Thread.joinable())
        m_Thread.join();
}

void DialogDriver::Run()
{
    while (!m_Stop) {
        HWND hWnd = WaitForMessageBoxPrefix(m_Prefix, 20);
        if (!hWnd)
            continue;
        const UINT command = m_Act(hWnd);
        ++m_Seen;
        PostMessageW(hWnd, WM_COMMAND, command, 0);
        const ULONGLONG end = GetTickCount64() + 5000;
        while (IsWindow(hWnd) && GetTickCount64() < end)
            Sleep(10);
    }
}

} // namespace qsmtest
