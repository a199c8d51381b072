// The real program and the shell around it: a restarted shell gets the icon back, the
// end of a session ends the program as Exit does.
#include "app_fixture.h"
#include "fake_lm.h"
#include "lmsim_process.h"
#include "resource.h"
#include "temp_folder.h"
#include <cstddef>
#include <shellapi.h>

using namespace apptest;

namespace {

// Whether the program's icon (tray window, uID 0) is there; with remove, takes it away.
bool Icon(HWND hTray, DWORD message = NIM_MODIFY)
{
    NOTIFYICONDATAW record = {};
    record.cbSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
    record.hWnd = hTray;
    return Shell_NotifyIconW(message, &record) != FALSE;
}

class Session : public App {
protected:
    // Started against the language monitor on that port, the printer's window shown.
    void StartShown(DWORD port)
    {
        m_Registry.SetTcpPort(port);
        Install(L"A");
        ASSERT_TRUE(StartWithTray());
        ASSERT_TRUE(PumpUntil([&] { return IsShown(L"A") && Icon(m_hTray); }, 15000));
    }
    bool SendToTray(UINT message, WPARAM wParam, DWORD_PTR* answer = nullptr)
    {
        return SendMessageTimeoutW(m_hTray, message, wParam, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, answer) != 0;
    }
    qsmtest::LmsimProcess m_Sim;
};

TEST_F(Session, ARestartedShellGetsTheIconBackAndOnlyAConfirmedEndEnds)
{
    ASSERT_TRUE(m_Sim.Start(L"--scenario static"));
    StartShown(m_Sim.Port());
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    for (int restart = 0; restart < 2; ++restart) {
        ASSERT_TRUE(Icon(m_hTray, NIM_DELETE));
        SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return Icon(m_hTray); }, 5000)) << restart;
    }
    // In the order the system sends them; the icon tells whether the program still runs.
    const struct {
        UINT message;
        WPARAM wParam;
        bool running;
    } steps[] = {{WM_QUERYENDSESSION, 0, true}, {WM_ENDSESSION, FALSE, true}, {WM_QUERYENDSESSION, 0, true},
                 {WM_ENDSESSION, TRUE, false}};
    for (const auto& step : steps) {
        DWORD_PTR answer = TRUE;
        ASSERT_TRUE(SendToTray(step.message, step.wParam, &answer));
        EXPECT_EQ(answer, step.message == WM_QUERYENDSESSION ? DWORD_PTR(TRUE) : 0u);
        EXPECT_EQ(Icon(m_hTray), step.running) << step.message << " " << step.wParam;
    }
    EXPECT_EQ(m_Program.Wait(10000), 0u);
}

TEST_F(Session, ASessionEndDuringALogDownloadLeavesNoFile)
{
    // A quiet printer whose log stops after its first part.
    qsmtest::FakeLanguageMonitor lm;
    const char* const answers[] = {"\x85", "\x89\x00\x2C\x01", "\x81\x00\x32", "\x82\x00\x10", "\x83\x00\x00", "\x86\x00MC", "\x87\x00Job"};
    const size_t lengths[] = {2, 4, 3, 3, 3, 4, 5};
    const uint8_t commands[] = {5, 9, 1, 2, 3, 6, 7};
    for (size_t i = 0; i < 7; ++i)
        lm.OnCommand(commands[i], qsmtest::LmReply::Answer(std::string(answers[i], lengths[i])));
    lm.OnCommand(4, qsmtest::LmReply().Then(0, std::string("\x84\x00", 2) + std::string(100000, 'L')).Then(60000, "rest"));
    StartShown(lm.Port());
    const HWND hSave = FindControl(MainWindow(L"A"), IDC_SAVE_LOG);
    ASSERT_NE(hSave, nullptr);
    PostMessageW(GetParent(hSave), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), reinterpret_cast<LPARAM>(hSave));
    const HWND hSaveAs = qsmtest::WaitForTopWindow(L"Save As", 10000);
    ASSERT_NE(hSaveAs, nullptr);
    qsmtest::TempFolder folder;
    const std::wstring path = folder.FileName(L"printer.log");
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(hSaveAs, WM_COMMAND, IDOK, 0);

    // The end comes once the first part has had time to arrive.
    ASSERT_TRUE(PumpUntil([&] { return lm.CountCommand(4) > 0; }, 15000));
    Sleep(500);
    SendToTray(WM_QUERYENDSESSION, 0);
    SendToTray(WM_ENDSESSION, TRUE);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(lm.LastReplyTime(4), 0); // the log's last part had not gone out
}

} // namespace
