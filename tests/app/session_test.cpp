// The real program and the shell around it: a restarted shell gets the icon back, the
// end of a session ends the program as Exit does.
#include "app_fixture.h"
#include "fake_lm.h"
#include "lmsim_process.h"
#include "resource.h"
#include "temp_folder.h"
#include <cstddef>
#include <string>
#include <utility>
#include <shellapi.h>

using namespace apptest;

namespace {

// The program's icon (tray window, uID 0) as another process sees it.
NOTIFYICONDATAW IconOf(HWND hTray)
{
    NOTIFYICONDATAW record = {};
    record.cbSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
    record.hWnd = hTray;
    return record;
}

bool IconExists(HWND hTray)
{
    NOTIFYICONDATAW record = IconOf(hTray);
    return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

class Session : public App {
protected:
    // Started against the language monitor on that port, the printer's window shown,
    // the icon in place.
    void StartShown(DWORD port)
    {
        m_Registry.SetTcpPort(port);
        Install(L"A", L"FILE:");
        ASSERT_TRUE(Start());
        ASSERT_TRUE(WaitForTray());
        ASSERT_TRUE(qsmtest::PumpUntil([&] { return IsShown(L"A", L"FILE:") && IconExists(Tray()); }, 15000));
    }
    void StartShownWithSimulator()
    {
        ASSERT_TRUE(m_Sim.Start(L"--scenario static"));
        StartShown(m_Sim.Port());
    }

    qsmtest::LmsimProcess m_Sim;
};

TEST_F(Session, ARestartedShellGetsTheIconBack)
{
    StartShownWithSimulator();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    for (int restart = 0; restart < 2; ++restart) {
        NOTIFYICONDATAW record = IconOf(Tray());
        ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &record));
        ASSERT_FALSE(IconExists(Tray()));
        SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_TRUE(qsmtest::PumpUntil([&] { return IconExists(Tray()); }, 5000)) << "restart " << restart;
    }
}

// The messages in the order the system sends them; only a confirmed end ends.
TEST_F(Session, OnlyAConfirmedSessionEndEndsTheProgram)
{
    StartShownWithSimulator();
    struct Step {
        UINT message;
        WPARAM wParam;
        LRESULT answer;
        bool running; // the icon still in place right after the message returned
    };
    const Step steps[] = {
        {WM_QUERYENDSESSION, 0, TRUE, true},
        {WM_ENDSESSION, FALSE, 0, true}, // another program said no
        {WM_QUERYENDSESSION, 0, TRUE, true},
        {WM_ENDSESSION, TRUE, 0, false},
    };
    for (const Step& step : steps) {
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutW(Tray(), step.message, step.wParam, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                                        &answer));
        if (step.message == WM_QUERYENDSESSION) {
            EXPECT_EQ(answer, static_cast<DWORD_PTR>(step.answer));
        }
        // The system may end the process as soon as WM_ENDSESSION returns.
        EXPECT_EQ(IconExists(Tray()), step.running) << step.message << " " << step.wParam;
    }
    EXPECT_EQ(m_Program.Wait(10000), 0u);
}

TEST_F(Session, ASessionEndDuringALogDownloadLeavesNoFile)
{
    // A quiet printer whose log stops after its first part.
    qsmtest::FakeLanguageMonitor lm;
    const std::pair<uint8_t, std::string> answers[] = {
        {5, std::string("\x85\x00", 2)}, {9, std::string("\x89\x00\x2C\x01", 4)}, {1, std::string("\x81\x00\x32", 3)},
        {2, std::string("\x82\x00\x10", 3)}, {3, std::string("\x83\x00\x00", 3)}, {6, std::string("\x86\x00MC", 4)},
        {7, std::string("\x87\x00Job", 5)}};
    for (const auto& answer : answers)
        lm.OnCommand(answer.first, qsmtest::LmReply::Answer(answer.second));
    lm.OnCommand(4, qsmtest::LmReply().Then(0, std::string("\x84\x00", 2) + std::string(100000, 'L')).Then(60000, "rest"));
    StartShown(lm.Port());
    HWND hSave = FindControl(MainWindow(L"A", L"FILE:"), IDC_SAVE_LOG);
    ASSERT_NE(hSave, nullptr);
    PostMessageW(GetParent(hSave), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), reinterpret_cast<LPARAM>(hSave));
    HWND hSaveAs = qsmtest::WaitForTopWindow(L"Save As", 10000);
    ASSERT_NE(hSaveAs, nullptr);
    qsmtest::TempFolder folder;
    const std::wstring path = folder.FileName(L"printer.log");
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(hSaveAs, WM_COMMAND, IDOK, 0);

    // The end comes once the first part has had time to arrive.
    ASSERT_TRUE(qsmtest::PumpUntil([&] { return lm.CountCommand(4) > 0; }, 15000));
    Sleep(500);
    SendMessageTimeoutW(Tray(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, nullptr);
    SendMessageTimeoutW(Tray(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, nullptr);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    // The log's last part had not gone out.
    EXPECT_EQ(lm.LastReplyTime(4), 0);
}

} // namespace
