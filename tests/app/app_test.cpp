// The status monitor as a process of its own, driven from outside through its
// windows: start-up, hand-over to a running instance, the error box over a printer's
// window, the shell around it. Only printers of this test program's driver pass the filter.
#include "../dialogs/ui_support.h"
#include "exception.h"
#include "fake_lm.h"
#include "process.h"
#include "utils.h"
#include <cstddef>
#include <shellapi.h>

using mrvAPI::mrvLanguages;
using qsmtest::PumpUntil;
using qsmtest::SpoolerFixture;
using namespace std::string_literals;

namespace {

class App : public uitest::TrayTest {
protected:
    App() : TrayTest(L"App") {}
    // Null when the program has no main window for the printer.
    HWND MainWindow(const std::wstring& letter)
    {
        return qsmtest::WaitForTopWindow(mrvLanguages::GetText(6) + L" (" + Name(letter) + L", FILE:)", 0);
    }
    bool IsShown(const std::wstring& letter) { return IsWindowVisible(MainWindow(letter)) != FALSE; }
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

    qsmtest::ChildProcess m_Program;
    HWND m_hTray = nullptr;
};

// Without a monitored printer it warns and ends with 1; a catalogue that cannot be
// loaded ends in the critical error box.
TEST_F(App, WithoutAMonitoredPrinterOrACatalogueItEndsInItsBox)
{
    Install(L"A", SpoolerFixture::ComPort());
    ASSERT_TRUE(Start(m_Program, L""));
    // A printer that comes while the box is open gets no window in a program that ends:
    // the settings change reaches the program's windows as a broadcast would.
    const HWND hBox = qsmtest::WaitForMessageBox(mrvLanguages::GetText(3), 15000);
    ASSERT_NE(hBox, nullptr);
    Install(L"B");
    EnumThreadWindows(GetWindowThreadProcessId(hBox, nullptr), [](HWND hWnd, LPARAM) -> BOOL {
        SendMessageTimeoutW(hWnd, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        return TRUE;
    }, 0);
    EXPECT_EQ(MainWindow(L"B"), nullptr);
    ExpectBox(mrvLanguages::GetText(3), mrvLanguages::GetText(1), nullptr);
    EXPECT_EQ(m_Program.Wait(10000), 1u);
    m_Registry.Remove(L"Path");
    std::wstring report; // the program fails as this process does
    try {
        mrvLanguages::Load();
    } catch (const mrvAPI::mrvException& e) {
        report = mrvAPI::mrvUtils::M2W(e.GetReport("\n"));
    }
    ASSERT_TRUE(Start(m_Program, L""));
    ExpectBox(L"Critical error.", report, nullptr);
    EXPECT_EQ(m_Program.Wait(10000), static_cast<DWORD>(-1));
}

TEST_F(App, ANamedPrinterIsTheOnlyWindowShownAndASecondStartHandsOverWithZero)
{
    // The whole tail is the name, blanks and characters beyond the ANSI code page included.
    const std::wstring b = L"B \u6253\u5370\u6A5F";
    Install(L"A");
    Install(b);
    ASSERT_TRUE(StartWithTray(Name(b)));
    EXPECT_TRUE(PumpUntil([&] { return IsShown(b); }, 10000));
    ASSERT_TRUE(SendMessageTimeoutW(m_hTray, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr)); // the tray has caught up
    ASSERT_NE(MainWindow(L"A"), nullptr);
    EXPECT_FALSE(IsShown(L"A"));
    EXPECT_FALSE(IsWindowVisible(m_hTray));

    // Quotes stay part of the name, which then matches no printer.
    qsmtest::ChildProcess second;
    ASSERT_TRUE(Start(second, L"\"" + Name(L"A") + L"\""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_FALSE(IsShown(L"A"));
    ASSERT_TRUE(Start(second, L""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_TRUE(IsShown(L"A") && IsShown(b));
    EXPECT_TRUE(m_Program.IsRunning());
}

// The box comes over the window; a minimised window, which still polls, comes back
// with the next error's box.
TEST_F(App, APrinterErrorRaisesItsWindowWithTheTranslatedBox)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario errors"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"A");
    ASSERT_TRUE(StartWithTray());
    const HWND hMain = MainWindow(L"A");
    ASSERT_NE(hMain, nullptr);
    ExpectBox(mrvLanguages::GetText(61) + L" 0x0000012A", mrvLanguages::GetText(71), hMain);
    EXPECT_TRUE(IsWindowVisible(hMain));
    ShowWindow(hMain, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(hMain) != FALSE; }, 5000));
    ExpectBox(mrvLanguages::GetText(62) + L" 0x00000130", mrvLanguages::GetText(72), hMain);
    EXPECT_FALSE(IsIconic(hMain));
    EXPECT_TRUE(IsWindowVisible(hMain));
}



// Whether the program's icon (tray window, uID 0) is there; with NIM_DELETE, takes it away.
bool Icon(HWND hTray, DWORD message = NIM_MODIFY)
{
    NOTIFYICONDATAW record = {};
    record.cbSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
    record.hWnd = hTray;
    return Shell_NotifyIconW(message, &record) != FALSE;
}

TEST_F(App, ARestartedShellGetsTheIconBackAndASessionEndDuringALogDownloadLeavesNoFile)
{
    // A quiet printer whose log stops after its first part.
    qsmtest::FakeLanguageMonitor lm;
    for (const std::string& a : {"\x05\x85\x00"s, "\x09\x89\x00\x2C\x01"s, "\x01\x81\x00\x32"s, "\x02\x82\x00\x10"s,
                                 "\x03\x83\x00\x00"s, "\x06\x86\x00MC"s, "\x07\x87\x00Job"s})
        lm.OnCommand(static_cast<uint8_t>(a[0]), qsmtest::LmReply::Answer(a.substr(1)));
    lm.OnCommand(4, qsmtest::LmReply().Then(0, "\x84\x00"s + std::string(100000, 'L')).Then(60000, "rest"));
    m_Registry.SetTcpPort(lm.Port());
    Install(L"A");
    ASSERT_TRUE(StartWithTray());
    ASSERT_TRUE(PumpUntil([&] { return IsShown(L"A") && Icon(m_hTray); }, 15000));
    for (int restart = 0; restart < 2; ++restart) {
        ASSERT_TRUE(Icon(m_hTray, NIM_DELETE));
        SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return Icon(m_hTray); }, 5000)) << restart;
    }
    // In the order the system sends them; the icon tells whether the program still runs.
    const auto send = [&](UINT message, WPARAM wParam) {
        DWORD_PTR answer = 2;
        EXPECT_TRUE(SendMessageTimeoutW(m_hTray, message, wParam, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer));
        EXPECT_EQ(answer, message == WM_QUERYENDSESSION ? DWORD_PTR(TRUE) : 0u) << message;
    };
    send(WM_QUERYENDSESSION, 0);
    send(WM_ENDSESSION, FALSE);
    EXPECT_TRUE(Icon(m_hTray));

    ASSERT_TRUE(PostMessageW(MainWindow(L"A"), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), 0));
    const HWND hSaveAs = qsmtest::WaitForTopWindow(L"Save As", 10000);
    ASSERT_NE(hSaveAs, nullptr);
    qsmtest::TempFolder folder;
    const std::wstring path = folder.FileName(L"printer.log");
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(hSaveAs, WM_COMMAND, IDOK, 0);
    // The end comes once the first part has had time to arrive.
    ASSERT_TRUE(PumpUntil([&] { return lm.CountCommand(4) > 0; }, 15000));
    Sleep(500);
    send(WM_QUERYENDSESSION, 0);
    send(WM_ENDSESSION, TRUE);
    EXPECT_FALSE(Icon(m_hTray));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(lm.LastReplyTime(4), 0); // the log's last part had not gone out
}

} // namespace
