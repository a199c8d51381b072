#pragma once
// The status monitor as a process of its own, read and driven from outside
// through its windows. Only printers of this test program's driver pass the filter.
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "window_probe.h"
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace apptest {

// A control anywhere below the window (the pages are child dialogs).
HWND FindControl(HWND hTop, int id);

class App : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::wstring Name(const std::wstring& letter);
    void Install(const std::wstring& letter, const std::wstring& port);
    // Null when the program has no main window for the printer on that port.
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
    // Presses OK in the box and returns the program's exit code.
    DWORD CloseBoxAndWait(HWND hBox);

    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
    qsmtest::ChildProcess m_Program;
    HWND m_hTray = nullptr;
};

} // namespace apptest
