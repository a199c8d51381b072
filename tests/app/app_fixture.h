#pragma once
// The status monitor as a process of its own, read and driven from outside
// through its windows. Only printers of this test program's driver pass the filter.
#include "language.h"
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "window_probe.h"
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <utility>

namespace apptest {

// A control anywhere below the window (the pages are child dialogs).
inline HWND FindControl(HWND hTop, int id)
{
    std::pair<int, HWND> search{id, nullptr};
    EnumChildWindows(
        hTop,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<std::pair<int, HWND>*>(lParam);
            if (GetDlgCtrlID(hWnd) != s->first)
                return TRUE;
            s->second = hWnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

class App : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
        m_Registry.SetPrinterFilter(qsmtest::SpoolerFixture::Tag() + L" app");
        m_Registry.SetUpdateTime(L"100");
        // Nothing listens there unless a test starts the simulator.
        m_Registry.SetTcpPort(1);
        // The same catalogue as the program's, for the texts to expect.
        mrvAPI::mrvLanguages::Load();
    }
    void TearDown() override
    {
        m_Program.Kill();
        mrvAPI::mrvLanguages::Clear();
    }

    static std::wstring Name(const std::wstring& letter) { return qsmtest::SpoolerFixture::Unique(L"Quillor App " + letter); }
    void Install(const std::wstring& letter, const std::wstring& port)
    {
        ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port,
                                             qsmtest::SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" app"));
    }
    // Null when the program has no main window for the printer on that port.
    HWND MainWindow(const std::wstring& letter, const std::wstring& port) const
    {
        return qsmtest::WaitForTopWindow(mrvAPI::mrvLanguages::GetText(6) + L" (" + Name(letter) + L", " + port + L")", 0);
    }
    bool IsShown(const std::wstring& letter, const std::wstring& port) const
    {
        HWND hWnd = MainWindow(letter, port);
        return hWnd && IsWindowVisible(hWnd);
    }

    // Starts the program with the argument string as its whole command-line tail.
    bool Start(qsmtest::ChildProcess& process, const std::wstring& argument = L"")
    {
        return process.Start(L"\"" + qsmtest::ExeDir() + L"..\\QuillorStatusMonitor.exe\"" +
                             (argument.empty() ? L"" : L" " + argument));
    }
    bool Start(const std::wstring& argument = L"") { return Start(m_Program, argument); }
    // Finds the program's hidden tray window (which exists once its dialogs do). The
    // tray keeps the template caption; a main window has it only while it is created,
    // and WindowText asks the window itself, so it answers once the creation is over.
    bool WaitForTray()
    {
        const std::wstring title = L"_SM_DIALOG_TITLE";
        return qsmtest::PumpUntil(
            [&] { return (m_hTray = qsmtest::WaitForTopWindow(title, 0)) && qsmtest::WindowText(m_hTray) == title; },
            15000);
    }
    HWND Tray() const { return m_hTray; }
    // Opens the tray menu with a click on the icon and presses the keys in it (the
    // menu's loop reads them from its thread's queue). With no keys the menu is
    // closed again with Escape: the program is then known to be in its message pump.
    bool UseMenu(std::initializer_list<WPARAM> keys)
    {
        if (!m_hTray || !PostMessageW(m_hTray, WM_USER, 0, WM_RBUTTONDOWN))
            return false;
        HWND hMenu = nullptr;
        if (!qsmtest::PumpUntil([&] { return (hMenu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(hMenu); },
                                15000))
            return false;
        if (keys.size() == 0)
            PostMessageW(m_hTray, WM_KEYDOWN, VK_ESCAPE, 0);
        for (WPARAM key : keys)
            PostMessageW(m_hTray, WM_KEYDOWN, key, 0);
        return qsmtest::PumpUntil([&] { return !IsWindow(hMenu) || !IsWindowVisible(hMenu); }, 5000);
    }
    // Presses OK in the box and returns the program's exit code.
    DWORD CloseBoxAndWait(HWND hBox)
    {
        qsmtest::CloseMessageBox(hBox);
        return m_Program.Wait(10000);
    }

    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
    qsmtest::ChildProcess m_Program;
    HWND m_hTray = nullptr;
};

} // namespace apptest
