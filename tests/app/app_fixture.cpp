#include "app_fixture.h"
#include "language.h"
#include "window_probe.h"

namespace apptest {

namespace {

// The template caption of the tray window, which keeps it: it is never shown.
const wchar_t* const kTrayTitle = L"_SM_DIALOG_TITLE";
const DWORD kStartMs = 15000;

struct Search {
    DWORD pid;
    const wchar_t* cls;
    const std::wstring* title; // null: any title
    bool visibleBox;           // only visible message boxes
    HWND found;
};

std::wstring ClassOf(HWND hWnd)
{
    wchar_t cls[64] = {};
    GetClassNameW(hWnd, cls, 64);
    return cls;
}

BOOL CALLBACK Match(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid != search->pid || ClassOf(hWnd) != search->cls)
        return TRUE;
    if (search->title && qsmtest::WindowText(hWnd) != *search->title)
        return TRUE;
    if (search->visibleBox && (!IsWindowVisible(hWnd) || !GetDlgItem(hWnd, 0xFFFF)))
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

HWND Find(DWORD pid, const wchar_t* cls, const std::wstring* title, bool visibleBox)
{
    Search search{pid, cls, title, visibleBox, nullptr};
    EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <class Get>
HWND WaitForWindow(Get get, DWORD timeoutMs)
{
    HWND found = nullptr;
    Eventually([&] { return (found = get()) != nullptr; }, timeoutMs);
    return found;
}

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<ControlSearch*>(lParam);
    if (GetDlgCtrlID(hWnd) != search->id)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

} // namespace

HWND FindTopWindow(DWORD pid, const wchar_t* cls, const std::wstring& title)
{
    return Find(pid, cls, &title, false);
}

HWND WaitForTrayWindow(DWORD pid, DWORD timeoutMs)
{
    const std::wstring title = kTrayTitle;
    return WaitForWindow([&] { return Find(pid, L"#32770", &title, false); }, timeoutMs);
}

HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs)
{
    return WaitForWindow([&] { return Find(pid, L"#32770", nullptr, true); }, timeoutMs);
}

HWND WaitForMenu(DWORD pid, DWORD timeoutMs)
{
    return WaitForWindow(
        [&] {
            HWND hMenu = Find(pid, L"#32768", nullptr, false);
            return hMenu && IsWindowVisible(hMenu) ? hMenu : nullptr;
        },
        timeoutMs);
}

bool WaitUntilGone(HWND hWnd, DWORD timeoutMs)
{
    return Eventually([&] { return !IsWindow(hWnd) || !IsWindowVisible(hWnd); }, timeoutMs);
}

HWND FindControl(HWND hTop, int id)
{
    ControlSearch search{id, nullptr};
    EnumChildWindows(hTop, &MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::wstring> ListLines(HWND hList)
{
    std::vector<std::wstring> lines;
    const int count = qsmtest::ListBoxCount(hList);
    for (int i = 0; i < count; ++i)
        lines.push_back(qsmtest::ListBoxLine(hList, i));
    return lines;
}

void App::SetUp()
{
    m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
    m_Registry.SetPrinterFilter(Filter());
    m_Registry.SetUpdateTime(L"100");
    // Nothing listens there unless a test starts the simulator.
    m_Registry.SetTcpPort(1);
    // The same catalogue as the program's, for the texts to expect.
    mrvAPI::mrvLanguages::Load();
}

void App::TearDown()
{
    m_Program.Kill();
    mrvAPI::mrvLanguages::Clear();
}

std::wstring App::Driver()
{
    return qsmtest::SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" app";
}

std::wstring App::Filter()
{
    return qsmtest::SpoolerFixture::Tag() + L" app";
}

std::wstring App::Name(const std::wstring& letter)
{
    return qsmtest::SpoolerFixture::Unique(L"Quillor App " + letter);
}

std::wstring App::ProgramPath()
{
    return qsmtest::ExeDir() + L"..\\QuillorStatusMonitor.exe";
}

void App::Install(const std::wstring& letter, const std::wstring& port)
{
    ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port, Driver()));
}

std::wstring App::Title(const std::wstring& letter, const std::wstring& port) const
{
    return mrvAPI::mrvLanguages::GetText(6) + L" (" + Name(letter) + L", " + port + L")";
}

HWND App::MainWindow(const std::wstring& letter, const std::wstring& port) const
{
    return FindTopWindow(m_Program.Pid(), L"#32770", Title(letter, port));
}

bool App::IsShown(const std::wstring& letter, const std::wstring& port) const
{
    HWND hWnd = MainWindow(letter, port);
    return hWnd && IsWindowVisible(hWnd);
}

bool App::Start(qsmtest::ChildProcess& process, const std::wstring& argument)
{
    std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
    if (!argument.empty())
        commandLine += L" " + argument;
    return process.Start(commandLine);
}

bool App::WaitForTray()
{
    m_hTray = WaitForTrayWindow(m_Program.Pid(), kStartMs);
    return m_hTray != nullptr;
}

bool App::UseMenu(std::initializer_list<WPARAM> keys)
{
    if (!m_hTray || !PostMessageW(m_hTray, WM_USER, 0, WM_RBUTTONDOWN))
        return false;
    HWND hMenu = WaitForMenu(m_Program.Pid(), kStartMs);
    if (!hMenu)
        return false;
    // The menu's loop reads the keys from its thread's queue.
    if (keys.size() == 0) {
        PostMessageW(m_hTray, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        for (WPARAM key : keys)
            PostMessageW(m_hTray, WM_KEYDOWN, key, 0);
    }
    return WaitUntilGone(hMenu, 5000);
}

bool App::SettingChange()
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(m_hTray, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 20000, &result) != 0;
}

DWORD App::CloseBoxAndWait(HWND hBox)
{
    qsmtest::CloseMessageBox(hBox);
    return m_Program.Wait(10000);
}

} // namespace apptest
