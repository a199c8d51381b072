#include "maindlg_fixture.h"
#include "window_probe.h"

using namespace mrvAPI;
using mdtest::MainDialogTest;
using mdtest::PumpUntil;

// The dialog with its real worker against the scripted language monitor
// ("UpdateTime" 50 ms unless a test sets another).
class Polling : public MainDialogTest {
protected:
    // Pumps for ms and tells whether the language monitor heard anything meanwhile.
    bool AnyRequestWithin(DWORD ms)
    {
        return PumpUntil([&] { return m_Lm.Accepted() > 0 || !m_Lm.Requests().empty(); }, ms);
    }
    bool WaitForCommand(uint8_t command, size_t count, DWORD ms)
    {
        return PumpUntil([&] { return m_Lm.CountCommand(command) >= count; }, ms);
    }
};

// A page's WM_SHOWWINDOW is not the dialog's: tab switches neither start nor stop polling.
TEST_F(Polling, OnlyShowingAndClosingTheDialogStartAndStopIt)
{
    Make();
    SelectTab(1);
    SelectTab(0);
    EXPECT_FALSE(AnyRequestWithin(400));

    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(7, 1, 5000));
    const std::string first = m_Lm.Commands();
    EXPECT_LT(first.find('\x09'), first.find('\x01'));
    // The monitor's answers arrived: number line, bar, material code, job line.
    HWND monitor = MonitorPage();
    EXPECT_TRUE(PumpUntil([&] { return qsmtest::WindowText(GetDlgItem(monitor, 1018)) == mdtest::Text(23) + L" Job"; },
                          5000));
    EXPECT_EQ(qsmtest::ListBoxLine(GetDlgItem(monitor, 1004), 0), mdtest::Text(19) + L" 300 " + mdtest::Text(20));
    EXPECT_EQ(SendDlgItemMessageW(monitor, 1005, PBM_GETPOS, 0, 0), 0x32);
    EXPECT_EQ(qsmtest::WindowText(GetDlgItem(monitor, 1007)), L"MC-1");

    for (int tab : {1, 0}) {
        SelectTab(tab);
        m_Lm.ClearRequests();
        EXPECT_TRUE(WaitForCommand(1, 2, 5000)) << tab;
    }
    EXPECT_EQ(m_Lm.Closed(), 0);

    SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    // The next cycle lets the connection go; after that nothing is asked.
    ASSERT_TRUE(PumpUntil([&] { return m_Lm.Closed() >= 1; }, 5000));
    m_Lm.ClearRequests();
    EXPECT_FALSE(PumpUntil([&] { return !m_Lm.Requests().empty(); }, 400));
    EXPECT_EQ(m_Lm.Accepted(), 1);

    // Shown again: a new connection that asks for the number first again.
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(1, 1, 5000));
    EXPECT_EQ(m_Lm.Accepted(), 2);
    EXPECT_EQ(m_Lm.Commands().substr(0, 3), std::string("\x05\x09\x01", 3));
}

TEST_F(Polling, UpdateTimeIsThePauseBetweenCycles)
{
    m_Registry.SetUpdateTime(L"250");
    Make();
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(5, 1, 5000));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(WaitForCommand(5, 3, 5000));
    // Two pauses lie between the first and the third cycle.
    EXPECT_GE(GetTickCount64() - start, 480u);
}

// The user may close the window while a log is saved: the end of the save must not
// start polling a hidden window.
TEST_F(Polling, EndOfALogSaveResumesPollingOnlyForAShownWindow)
{
    Make();
    ASSERT_TRUE(PostMessageW(Dlg(), WM_USER + 1, 0, 0));
    EXPECT_FALSE(AnyRequestWithin(400));
    m_pDialog->Show();
    ASSERT_TRUE(PostMessageW(Dlg(), WM_USER + 1, 0, 0));
    EXPECT_TRUE(WaitForCommand(1, 1, 5000));
}
