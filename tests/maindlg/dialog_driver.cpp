#include "dialog_driver.h"
#include "window_probe.h"

namespace mdtest {

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
        HWND hWnd = qsmtest::WaitForMessageBoxPrefix(m_Prefix, 20);
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

void EnterFileName(HWND hSaveAs, const std::wstring& path)
{
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

namespace {
struct CountSearch {
    const std::wstring* caption;
    int count;
};

BOOL CALLBACK CountOne(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<CountSearch*>(lParam);
    wchar_t cls[64] = {};
    GetClassNameW(hWnd, cls, 64);
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(hWnd) && qsmtest::WindowText(hWnd) == *search->caption)
        ++search->count;
    return TRUE;
}
} // namespace

int CountDialogs(const std::wstring& caption)
{
    CountSearch search{&caption, 0};
    EnumWindows(&CountOne, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

} // namespace mdtest
