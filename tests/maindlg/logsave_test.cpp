#include "dialog_driver.h"
#include "maindlg_fixture.h"
#include "messages.h"
#include "window_probe.h"

using namespace mrvAPI;
using mdtest::CountChildrenHolding;
using mdtest::CursorAfterSetCursor;
using qsmtest::DialogDriver;
using mdtest::PumpUntil;
using mdtest::Text;

namespace {

const wchar_t* const kSaveAs = L"Save As";

// Puts a path into the save-file dialog's file name field.
void EnterFileName(HWND hSaveAs, const std::wstring& path)
{
    SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

// Whether painting in hWnd reaches this screen point.
bool ReachesPoint(HWND hWnd, POINT screen)
{
    HDC dc = GetDC(hWnd);
    ScreenToClient(hWnd, &screen);
    const bool visible = PtVisible(dc, screen.x, screen.y) != FALSE;
    ReleaseDC(hWnd, dc);
    return visible;
}

class LogSave : public mdtest::MainDialogTest {
protected:
    // Presses the save-log button on the Info page as the user does; returns when
    // the dialog has handled the press (the save-file dialog included).
    void PressSaveLog()
    {
        SelectTab(1);
        SendDlgItemMessageW(InfoPage(), 1014, BM_CLICK, 0, 0);
    }
    HWND LogBox() const { return mdtest::ChildHolding(Dlg(), 1019); }

    // The dialog at rest: nothing of a save is left.
    void ExpectIdle()
    {
        EXPECT_FALSE(m_pDialog->IsSavingLog());
        EXPECT_TRUE(IsWindowEnabled(Tab()));
        EXPECT_EQ(CountChildrenHolding(Dlg(), 1019), 0);
        EXPECT_EQ(CursorAfterSetCursor(Dlg()), LoadCursorW(nullptr, IDC_ARROW));
    }

    // The dialog while the worker downloads: tab control disabled, wait cursor,
    // one log box with text 26 in the middle of the client area.
    void ExpectBusy()
    {
        EXPECT_TRUE(m_pDialog->IsSavingLog());
        EXPECT_FALSE(IsWindowEnabled(Tab()));
        EXPECT_EQ(CursorAfterSetCursor(Dlg()), LoadCursorW(nullptr, IDC_WAIT));
        ASSERT_EQ(CountChildrenHolding(Dlg(), 1019), 1);
        HWND box = LogBox();
        EXPECT_TRUE(IsWindowVisible(box));
        EXPECT_EQ(qsmtest::WindowText(GetDlgItem(box, 1019)), Text(26));
        RECT client = {};
        GetClientRect(Dlg(), &client);
        RECT placed = {};
        GetWindowRect(box, &placed);
        MapWindowPoints(nullptr, Dlg(), reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.left, (client.right - (placed.right - placed.left)) >> 1);
        EXPECT_EQ(placed.top, (client.bottom - (placed.bottom - placed.top)) >> 1);

        // The page below, and its file list, repaint around the box, not over it.
        RECT screen = {};
        GetWindowRect(box, &screen);
        const POINT middle = {(screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2};
        EXPECT_FALSE(ReachesPoint(InfoPage(), middle));
        EXPECT_FALSE(ReachesPoint(GetDlgItem(InfoPage(), 1013), middle));
        EXPECT_TRUE(ReachesPoint(box, middle));
    }

    // A press while the save runs must come back at once without a second
    // save-file dialog; one would be cancelled here and counted.
    int SaveDialogsOnSecondPress()
    {
        DialogDriver watch(kSaveAs, IDCANCEL);
        SendMessageW(Dlg(), WM_COMMAND, MAKEWPARAM(1014, BN_CLICKED), 0);
        watch.Stop();
        return watch.Seen();
    }
};

} // namespace

TEST_F(LogSave, CancelChangesNothingConfirmIsBusyUntilTheLogIsWrittenAndIgnoresSecondPresses)
{
    // Exactly the expected length, so the collection ends with the last byte.
    std::string log;
    for (size_t i = 0; log.size() < 326656 - 2; ++i)
        log += static_cast<char>(i % 7 == 0 ? 0 : i % 11 == 0 ? '\n' : i % 13 == 0 ? '\r' : 'a' + i % 26);
    m_Lm.OnCommand(4, qsmtest::LmReply::Answer(std::string("\x84\x00", 2) + log));
    Make();
    m_pDialog->Show();
    {
        DialogDriver cancel(kSaveAs, IDCANCEL);
        PressSaveLog();
        cancel.Stop();
        EXPECT_EQ(cancel.Seen(), 1);
    }
    ExpectIdle();
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::DlgProc  WM_USER+1"), 0u);
    EXPECT_EQ(m_Lm.CountCommand(4), 0u);

    // Nothing was left running: the next press asks for a file name again.
    HWND hDlg = Dlg();
    const std::wstring path = m_Folder.FileName(L"printer.log");
    bool pressReturned = false;
    int calls = 0;
    DialogDriver confirm(kSaveAs, [&](HWND saveAs) -> UINT {
        // A second save-file dialog would be one opened by the press below.
        if (++calls > 1)
            return IDCANCEL;
        // A press while the save-file dialog is open comes back at once, without a second one.
        DWORD_PTR result = 0;
        pressReturned = SendMessageTimeoutW(hDlg, WM_COMMAND, MAKEWPARAM(1014, BN_CLICKED), 0, SMTO_NORMAL, 3000,
                                            &result) != 0;
        EnterFileName(saveAs, path);
        return IDOK;
    });
    PressSaveLog();
    confirm.Stop();
    EXPECT_TRUE(pressReturned);
    ASSERT_EQ(confirm.Seen(), 1);

    // The end report waits in the queue until this thread pumps.
    ExpectBusy();
    EXPECT_EQ(SaveDialogsOnSecondPress(), 0);
    EXPECT_EQ(CountChildrenHolding(Dlg(), 1019), 1);

    ASSERT_TRUE(PumpUntil([&] { return !m_pDialog->IsSavingLog(); }, 15000));
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::DlgProc  WM_USER+1"), 1u);
    ExpectIdle();
    EXPECT_EQ(m_Lm.CountCommand(4), 1u);
    std::string written;
    ASSERT_TRUE(qsmtest::ReadFileBytes(path, written));
    EXPECT_EQ(written.size(), log.size());
    EXPECT_TRUE(written == log);

    // The window is shown, so the worker goes on polling after the save, and a
    // press opens the save-file dialog again.
    m_Lm.ClearRequests();
    EXPECT_TRUE(PumpUntil([&] { return m_Lm.CountCommand(1) > 0; }, 5000));
    DialogDriver cancel(kSaveAs, IDCANCEL);
    PressSaveLog();
    cancel.Stop();
    EXPECT_EQ(cancel.Seen(), 1);
}
