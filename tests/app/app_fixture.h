#pragma once
// The status monitor as a process of its own, read and driven from outside
// through its windows. Each test sets its registry values and printers; only
// printers of this test program's driver pass the printer filter.
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "win.h"
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace apptest {

// Windows of another process, found without its cooperation.
HWND FindTopWindow(DWORD pid, const wchar_t* cls, const std::wstring& title);
HWND WaitForTrayWindow(DWORD pid, DWORD timeoutMs);
// A visible message box (a "#32770" with a static text 0xFFFF) of the process.
HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs);
// A visible popup menu of the process.
HWND WaitForMenu(DWORD pid, DWORD timeoutMs);
bool WaitUntilGone(HWND hWnd, DWORD timeoutMs);
// A control anywhere below the window (the pages are child dialogs).
HWND FindControl(HWND hTop, int id);
std::vector<std::wstring> ListLines(HWND hList);

// Waits until pred holds, polling; false after timeoutMs.
template <class Pred>
bool Eventually(Pred pred, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!pred()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

class App : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::wstring Driver();
    static std::wstring Filter();
    static std::wstring Name(const std::wstring& letter);
    static std::wstring ProgramPath();

    void Install(const std::wstring& letter, const std::wstring& port);
    // The title of a printer's main window: text 6, " (", name, ", ", port, ")".
    std::wstring Title(const std::wstring& letter, const std::wstring& port) const;
    HWND MainWindow(const std::wstring& letter, const std::wstring& port) const;
    bool IsShown(const std::wstring& letter, const std::wstring& port) const;

    // Starts the program with the argument string as its whole command-line tail.
    bool Start(qsmtest::ChildProcess& process, const std::wstring& argument = L"");
    bool Start(const std::wstring& argument = L"") { return Start(m_Program, argument); }
    // Finds the program's hidden tray window (which exists once its dialogs do).
    bool WaitForTray();
    HWND Tray() const { return m_hTray; }

    // Opens the tray menu with a click on the icon and presses the keys in it.
    // With no keys the menu is closed again with Escape: the program is then
    // known to be in its message pump.
    bool UseMenu(std::initializer_list<WPARAM> keys);
    bool SettingChange();
    // Presses OK in the box and returns the program's exit code.
    DWORD CloseBoxAndWait(HWND hBox);

    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
    qsmtest::ChildProcess m_Program;
    HWND m_hTray = nullptr;
};

} // namespace apptest
