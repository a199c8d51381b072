// The real program and the shell around it: a restarted shell gets the icon back, the
// end of a session ends the program as Exit does.
#include "app_fixture.h"
#include "lmsim_process.h"
#include "resource.h"
#include "temp_folder.h"
#include <cstddef>
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
    // Started against the simulator, the printer's window shown, the icon in place.
    void StartShown(const std::wstring& simArguments)
    {
        ASSERT_TRUE(m_Sim.Start(simArguments));
        m_Registry.SetTcpPort(m_Sim.Port());
        Install(L"A", L"FILE:");
        ASSERT_TRUE(Start());
        ASSERT_TRUE(WaitForTray());
        ASSERT_TRUE(qsmtest::PumpUntil([&] { return IsShown(L"A", L"FILE:") && IconExists(Tray()); }, 15000));
    }

    qsmtest::LmsimProcess m_Sim;
};

TEST_F(Session, ARestartedShellGetsTheIconBack)
{
    StartShown(L"--scenario static");
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
    StartShown(L"--scenario static");
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
    StartShown(L"--scenario static --fault slow");
    HWND hSave = FindControl(MainWindow(L"A", L"FILE:"), IDC_SAVE_LOG);
    ASSERT_NE(hSave, nullptr);
    PostMessageW(GetParent(hSave), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), reinterpret_cast<LPARAM>(hSave));
    HWND hSaveAs = qsmtest::WaitForTopWindow(L"Save As", 10000);
    ASSERT_NE(hSaveAs, nullptr);
    qsmtest::TempFolder folder;
    const std::wstring path = folder.FileName(L"printer.log");
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(hSaveAs, WM_COMMAND, IDOK, 0);

    // The log answer comes in four bursts 400 ms apart: end the session after the
    // first, well before the last.
    ASSERT_TRUE(m_Sim.WaitForCount(" cmd 4 ", 1, 30000));
    Sleep(700);
    SendMessageTimeoutW(Tray(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, nullptr);
    SendMessageTimeoutW(Tray(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, nullptr);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    EXPECT_TRUE(m_Sim.WaitForCount("closed by the peer", 1, 5000));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
