// The dialog with its real worker against the scripted language monitor
// ("UpdateTime" 50 ms unless a test sets another), and the log save.
#include "dialog_driver.h"
#include "maindlg_fixture.h"

using namespace mdtest;

namespace {

const wchar_t* const kSaveAs = L"Save As";

class Polling : public MainDialogTest {
protected:
    // Pumps for ms and tells whether the language monitor heard anything meanwhile.
    bool AnyRequestWithin(DWORD ms)
    {
        return PumpUntil([&] { return m_Lm.Accepted() > 0 || !m_Lm.Requests().empty(); }, ms);
    }
    bool WaitForCommand(uint8_t command, size_t count, DWORD ms = 5000)
    {
        return PumpUntil([&] { return m_Lm.CountCommand(command) >= count; }, ms);
    }
    // Presses the save-log button on the Info page as the user does, with the
    // save-file dialog answered by act; gives the number of save-file dialogs.
    int PressSaveLog(const std::function<UINT(HWND)>& act, bool onThePage = true)
    {
        qsmtest::DialogDriver driver(kSaveAs, act);
        SelectTab(1);
        if (onThePage)
            SendDlgItemMessageW(InfoPage(), IDC_SAVE_LOG, BM_CLICK, 0, 0);
        else
            SendMessageW(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), 0);
        driver.Stop();
        return driver.Seen();
    }
    // The cursor the dialog chooses when the mouse moves over it.
    HCURSOR Cursor()
    {
        SetCursor(nullptr);
        SendMessageW(Dlg(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Dlg()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    }
    // Busy: tab control disabled, wait cursor, one log box; idle: none of it.
    void ExpectBusy(bool busy)
    {
        EXPECT_EQ(m_pDialog->IsSavingLog(), busy);
        EXPECT_EQ(IsWindowEnabled(Tab()) == FALSE, busy);
        EXPECT_EQ(Cursor(), LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
        int boxes = 0;
        for (HWND h = GetWindow(Dlg(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
            boxes += GetDlgItem(h, IDC_LOG_TEXT) != nullptr;
        ASSERT_EQ(boxes, busy ? 1 : 0);
        if (!busy)
            return;
        const HWND box = ChildHolding(Dlg(), IDC_LOG_TEXT);
        EXPECT_TRUE(IsWindowVisible(box));
        EXPECT_EQ(WindowText(GetDlgItem(box, IDC_LOG_TEXT)), Text(26));
        RECT client = {}, placed = {};
        GetClientRect(Dlg(), &client);
        GetWindowRect(box, &placed);
        // The page below and its file list repaint around the box, not over it.
        const POINT middle = {(placed.left + placed.right) / 2, (placed.top + placed.bottom) / 2};
        for (HWND h : {InfoPage(), GetDlgItem(InfoPage(), IDC_FILE_LIST), box}) {
            POINT point = middle;
            ScreenToClient(h, &point);
            const HDC dc = GetDC(h);
            EXPECT_EQ(PtVisible(dc, point.x, point.y) != FALSE, h == box);
            ReleaseDC(h, dc);
        }
        MapWindowPoints(nullptr, Dlg(), reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.left, (client.right - (placed.right - placed.left)) >> 1);
        EXPECT_EQ(placed.top, (client.bottom - (placed.bottom - placed.top)) >> 1);
    }
};

} // namespace

// A page's WM_SHOWWINDOW is not the dialog's: tab switches neither start nor stop polling.
TEST_F(Polling, OnlyShowingAndClosingTheDialogStartAndStopIt)
{
    Make();
    SelectTab(1);
    SelectTab(0);
    EXPECT_FALSE(AnyRequestWithin(400));
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(7, 1));
    const std::string first = m_Lm.Commands();
    EXPECT_LT(first.find('\x09'), first.find('\x01'));
    for (int tab : {1, 0}) {
        SelectTab(tab);
        m_Lm.ClearRequests();
        EXPECT_TRUE(WaitForCommand(1, 2)) << tab;
    }
    EXPECT_EQ(m_Lm.Closed(), 0);

    // The next cycle lets the connection go; after that nothing is asked.
    SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return m_Lm.Closed() >= 1; }, 5000));
    m_Lm.ClearRequests();
    EXPECT_FALSE(PumpUntil([&] { return !m_Lm.Requests().empty(); }, 400));
    // Shown again: a new connection that asks for the number first again.
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(1, 1));
    EXPECT_EQ(m_Lm.Accepted(), 2);
    EXPECT_EQ(m_Lm.Commands().substr(0, 3), std::string("\x05\x09\x01", 3));
}

TEST_F(Polling, UpdateTimeIsThePauseBetweenCycles)
{
    m_Registry.SetUpdateTime(L"250");
    Make();
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(5, 1));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(WaitForCommand(5, 3));
    EXPECT_GE(GetTickCount64() - start, 480u); // two pauses
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
    EXPECT_TRUE(WaitForCommand(1, 1));
}

TEST_F(Polling, CancelChangesNothingConfirmIsBusyUntilTheLogIsWrittenAndIgnoresSecondPresses)
{
    std::string log; // exactly the expected length, so the collection ends with the last byte
    for (size_t i = 0; log.size() < 326656 - 2; ++i)
        log += static_cast<char>(i % 7 == 0 ? 0 : i % 11 == 0 ? '\n' : i % 13 == 0 ? '\r' : 'a' + i % 26);
    m_Lm.OnCommand(4, qsmtest::LmReply::Answer(std::string("\x84\x00", 2) + log));
    Make();
    m_pDialog->Show();
    EXPECT_EQ(PressSaveLog([](HWND) { return IDCANCEL; }), 1);
    ExpectBusy(false);
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::DlgProc  WM_USER+1") + m_Lm.CountCommand(4), 0u);

    // Nothing was left running: the next press asks for a file name again. A press
    // while the save-file dialog is open comes back at once, without a second one.
    const HWND hDlg = Dlg();
    const std::wstring path = m_Folder.FileName(L"printer.log");
    bool pressReturned = false;
    int calls = 0;
    EXPECT_EQ(PressSaveLog([&](HWND saveAs) -> UINT {
                  if (++calls > 1)
                      return IDCANCEL; // a second save-file dialog
                  DWORD_PTR result = 0;
                  pressReturned = SendMessageTimeoutW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), 0, SMTO_NORMAL, 3000, &result) != 0;
                  SendMessageW(GetDlgItem(saveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                  return IDOK;
              }),
              1);
    EXPECT_TRUE(pressReturned);
    // The end report waits in the queue until this thread pumps; a press meanwhile opens nothing.
    ExpectBusy(true);
    EXPECT_EQ(PressSaveLog([](HWND) { return IDCANCEL; }, false), 0);
    ExpectBusy(true);

    ASSERT_TRUE(PumpUntil([&] { return !m_pDialog->IsSavingLog(); }, 15000));
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::DlgProc  WM_USER+1"), 1u);
    ExpectBusy(false);
    EXPECT_EQ(m_Lm.CountCommand(4), 1u);
    std::string written;
    ASSERT_TRUE(qsmtest::ReadFileBytes(path, written));
    EXPECT_TRUE(written == log) << written.size();

    // The window is shown: polling goes on after the save, and a press asks again.
    m_Lm.ClearRequests();
    EXPECT_TRUE(WaitForCommand(1, 1));
    EXPECT_EQ(PressSaveLog([](HWND) { return IDCANCEL; }), 1);
}
