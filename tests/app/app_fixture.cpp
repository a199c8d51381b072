#include "app_fixture.h"
#include "language.h"

namespace apptest {

namespace {

BOOL CALLBACK MatchControl(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<std::pair<int, HWND>*>(lParam);
    if (GetDlgCtrlID(hWnd) != search->first)
        return TRUE;
    search->second = hWnd;
    return FALSE;
}

} // namespace

HWND FindControl(HWND hTop, int id)
{
    std::pair<int, HWND> search{id, nullptr};
    EnumChildWindows(hTop, &MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

void App::SetUp()
{
    m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
    m_Registry.SetPrinterFilter(qsmtest::SpoolerFixture::Tag() + L" app");
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

std::wstring App::Name(const std::wstring& letter)
{
    return qsmtest::SpoolerFixture::Unique(L"Quillor App " + letter);
}

void App::Install(const std::wstring& letter, const std::wstring& port)
{
    ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port,
                                         qsmtest::SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" app"));
}

HWND App::MainWindow(const std::wstring& letter, const std::wstring& port) const
{
    const std::wstring title = mrvAPI::mrvLanguages::GetText(6) + L" (" + Name(letter) + L", " + port + L")";
    return qsmtest::WaitForTopWindow(title, 0);
}

bool App::IsShown(const std::wstring& letter, const std::wstring& port) const
{
    HWND hWnd = MainWindow(letter, port);
    return hWnd && IsWindowVisible(hWnd);
}

bool App::Start(qsmtest::ChildProcess& process, const std::wstring& argument)
{
    return process.Start(L"\"" + qsmtest::ExeDir() + L"..\\QuillorStatusMonitor.exe\"" +
                         (argument.empty() ? L"" : L" " + argument));
}

bool App::WaitForTray()
{
    // The tray keeps the template caption; a main window has it only while it is created.
    // WindowText asks the window itself, so it answers once the creation is over.
    const std::wstring title = L"_SM_DIALOG_TITLE";
    return qsmtest::PumpUntil(
        [&] { return (m_hTray = qsmtest::WaitForTopWindow(title, 0)) && qsmtest::WindowText(m_hTray) == title; },
        15000);
}

bool App::UseMenu(std::initializer_list<WPARAM> keys)
{
    if (!m_hTray || !PostMessageW(m_hTray, WM_USER, 0, WM_RBUTTONDOWN))
        return false;
    HWND hMenu = nullptr;
    if (!qsmtest::PumpUntil([&] { return (hMenu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(hMenu); },
                            15000))
        return false;
    // The menu's loop reads the keys from its thread's queue.
    if (keys.size() == 0)
        PostMessageW(m_hTray, WM_KEYDOWN, VK_ESCAPE, 0);
    for (WPARAM key : keys)
        PostMessageW(m_hTray, WM_KEYDOWN, key, 0);
    return qsmtest::PumpUntil([&] { return !IsWindow(hMenu) || !IsWindowVisible(hMenu); }, 5000);
}

DWORD App::CloseBoxAndWait(HWND hBox)
{
    qsmtest::CloseMessageBox(hBox);
    return m_Program.Wait(10000);
}

} // namespace apptest
