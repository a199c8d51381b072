#pragma once
// The status monitor as a process of its own, driven from outside through its
// windows. Only printers of this test program's driver pass the filter.
#include "language.h"
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "window_probe.h"
#include <gtest/gtest.h>
#include <string>

namespace apptest {

using mrvAPI::mrvLanguages;
using qsmtest::PumpUntil;

// A control on one of the window's pages.
inline HWND FindControl(HWND hTop, int id)
{
    HWND hPage = GetWindow(hTop, GW_CHILD);
    while (hPage && !GetDlgItem(hPage, id))
        hPage = GetWindow(hPage, GW_HWNDNEXT);
    return hPage ? GetDlgItem(hPage, id) : nullptr;
}

class App : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
        m_Registry.SetPrinterFilter(qsmtest::SpoolerFixture::Tag() + L" app");
        m_Registry.SetUpdateTime(L"100");
        m_Registry.SetTcpPort(1); // nothing listens there unless a test starts a language monitor
        mrvLanguages::Load();     // the program's own catalogue, for the texts to expect
    }
    void TearDown() override
    {
        m_Program.Kill();
        mrvLanguages::Clear();
    }

    static std::wstring Name(const std::wstring& letter) { return qsmtest::SpoolerFixture::Unique(L"Quillor App " + letter); }
    void Install(const std::wstring& letter, const std::wstring& port = L"FILE:")
    {
        ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port, qsmtest::SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" app"));
    }
    // Null when the program has no main window for the printer on that port.
    static HWND MainWindow(const std::wstring& letter, const std::wstring& port = L"FILE:")
    {
        return qsmtest::WaitForTopWindow(mrvLanguages::GetText(6) + L" (" + Name(letter) + L", " + port + L")", 0);
    }
    static bool IsShown(const std::wstring& letter, const std::wstring& port = L"FILE:")
    {
        const HWND hWnd = MainWindow(letter, port);
        return hWnd && IsWindowVisible(hWnd);
    }
    static bool Start(qsmtest::ChildProcess& process, const std::wstring& argument)
    {
        return process.Start(L"\"" + qsmtest::ExeDir() + L"..\\QuillorStatusMonitor.exe\"" + (argument.empty() ? L"" : L" " + argument));
    }
    // Starts the program and finds its hidden tray window, which keeps the template
    // caption (a main window has it only while it is created).
    bool StartWithTray(const std::wstring& argument = L"")
    {
        const std::wstring title = L"_SM_DIALOG_TITLE";
        return Start(m_Program, argument) &&
               PumpUntil([&] { return (m_hTray = qsmtest::WaitForTopWindow(title, 0)) && qsmtest::WindowText(m_hTray) == title; },
                         15000);
    }
    // Returns once the tray window's thread has taken the message from its queue.
    bool Sync() const { return SendMessageTimeoutW(m_hTray, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr) != 0; }
    // Waits for the box, checks its text and owner, presses OK.
    void ExpectBox(const std::wstring& caption, const std::wstring& text, HWND owner)
    {
        const HWND hBox = qsmtest::WaitForMessageBox(caption, 15000);
        ASSERT_NE(hBox, nullptr);
        const qsmtest::MessageBoxView box = qsmtest::ReadMessageBox(hBox);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.owner, owner);
        EXPECT_TRUE(qsmtest::CloseMessageBox(hBox));
    }

    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
    qsmtest::ChildProcess m_Program;
    HWND m_hTray = nullptr;
};

} // namespace apptest
