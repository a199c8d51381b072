#include "dialog_driver.h"
#include "maindlg_fixture.h"
#include "messages.h"
#include "window_probe.h"
#include <cstring>

using namespace mrvAPI;
using mdtest::HasVisibleStyle;
using mdtest::MainDialogTest;
using mdtest::PumpUntil;
using mdtest::Text;
using uitest::TabText;
using qsmtest::WindowText;

namespace {

const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);

// Messages that this thread posted to itself are all in the queue: one pass
// hands them to the dialog.
void Drain()
{
    PumpUntil([] { return true; }, 0);
}

void Deliver(HWND hDlg, UINT message, WPARAM wParam)
{
    ASSERT_TRUE(PostMessageW(hDlg, message, wParam, 0));
    Drain();
}

RECT RectInClient(HWND hWnd, HWND hParent)
{
    RECT rect = {};
    GetWindowRect(hWnd, &rect);
    MapWindowPoints(nullptr, hParent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// True when a lies above b in the z-order of their siblings.
bool IsAbove(HWND a, HWND b)
{
    for (HWND h = GetWindow(a, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
        if (h == b)
            return true;
    return false;
}

} // namespace

TEST_F(MainDialogTest, CreationBuildsTitleTabsAndPagesAndStartsTheWorkerHidden)
{
    mrvMainDialog& dialog = Make();
    ASSERT_NE(Dlg(), nullptr);
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Start()"), 1u);
    EXPECT_FALSE(IsWindowVisible(Dlg()));

    const std::wstring title = Text(6) + L" (" + PrinterName() + L", FILE:)";
    EXPECT_EQ(WindowText(Dlg()), title);
    // A second instance looks the window up by this string.
    EXPECT_EQ(mrvMainDialog::MakeTitle(PrinterName(), L"FILE:"), title);
    EXPECT_EQ(dialog.GetPrinter().GetPort(), L"FILE:");

    ASSERT_EQ(SendMessageW(Tab(), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(TabText(Tab(), 0), Text(11));
    EXPECT_EQ(TabText(Tab(), 1), Text(12));
    EXPECT_EQ(SendMessageW(Tab(), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowEnabled(Tab()));

    HWND monitor = MonitorPage();
    HWND info = InfoPage();
    ASSERT_NE(monitor, nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(HasVisibleStyle(monitor));
    EXPECT_FALSE(HasVisibleStyle(info));
    // Both pages were translated: their captions are catalogue texts.
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1008)), Text(7));
    EXPECT_EQ(WindowText(GetDlgItem(info, 1014)), Text(16));

    // Pages sit below the first tab's header, two pixels down, at the tab's left edge.
    RECT header = {};
    SendMessageW(Tab(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header));
    const RECT tab = RectInClient(Tab(), Dlg());
    for (HWND page : {monitor, info}) {
        const RECT placed = RectInClient(page, Dlg());
        EXPECT_EQ(placed.left, tab.left);
        EXPECT_EQ(placed.top, tab.top + (header.bottom - header.top) + 2);
    }

    DestroyDialog();
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Stop()"), 1u);
    EXPECT_FALSE(IsWindow(monitor));
    EXPECT_FALSE(IsWindow(info));
}

// The page has its own tests for clamping and translation; here the dialog's
// part: each message reaches the right control, numbers cut to 16 bits.
TEST_F(MainDialogTest, WorkerValuesReachTheMonitorPage)
{
    Make();
    HWND monitor = MonitorPage();
    Deliver(Dlg(), mrvWM_INK_LEVEL, 57);
    EXPECT_EQ(SendDlgItemMessageW(monitor, 1005, PBM_GETPOS, 0, 0), 57);
    Deliver(Dlg(), mrvWM_UV_LAMP, 3);
    EXPECT_EQ(SendDlgItemMessageW(monitor, 1006, PBM_GETPOS, 0, 0), 3);

    HWND list = GetDlgItem(monitor, 1004);
    Deliver(Dlg(), mrvWM_STATUS, 40);
    Deliver(Dlg(), mrvWM_NUMBER, 0x1FFFF);
    Deliver(Dlg(), mrvWM_STATUS, 40); // nothing is ever trimmed or merged
    ASSERT_EQ(qsmtest::ListBoxCount(list), 3);
    EXPECT_EQ(qsmtest::ListBoxLine(list, 0), Text(40));
    EXPECT_EQ(qsmtest::ListBoxLine(list, 1), Text(19) + L" 65535 " + Text(20));
    EXPECT_EQ(qsmtest::ListBoxLine(list, 2), Text(40));

    // The worker refills its buffer for the next answer before the window has
    // handled the first message: the window still shows the first text.
    char buffer[32] = "first";
    ASSERT_TRUE(PostText(Dlg(), mrvWM_MAT_CODE, buffer));
    std::strcpy(buffer, "second");
    ASSERT_TRUE(PostText(Dlg(), mrvWM_PRINTJOB, buffer));
    std::strcpy(buffer, "third");
    Drain();
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1007)), L"first");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1018)), Text(23) + L" second");
}

// A record too short to decode is dropped: no box, the window stays hidden. A
// decoded one raises a covered window before its box comes up; the box has the
// decoded text (the test catalogue has no error-code table).
TEST_F(MainDialogTest, ErrorRecordsAreDecodedAndRaiseTheirWindowBeforeTheBox)
{
    Make();
    HWND hDlg = Dlg();
    qsmtest::MessageBoxView seen;
    bool aboveAtBox = false;
    HWND cover = nullptr;
    qsmtest::DialogDriver closer(L"ERROR 0x", [&](HWND box) -> UINT {
        seen = qsmtest::ReadMessageBox(box);
        aboveAtBox = IsAbove(hDlg, cover);
        return IDOK;
    });
    ASSERT_TRUE(PostText(hDlg, mrvWM_ERROR, "0000012A"));
    ASSERT_TRUE(PumpUntil([&] { return m_Debug.Contains("mrvMainDialog::DlgProc mrvWM_ERROR"); }, 10000));
    Drain();
    EXPECT_FALSE(IsWindowVisible(hDlg));

    m_pDialog->Show();
    RECT rect = {};
    GetWindowRect(hDlg, &rect);
    cover = CreateWindowExW(0, L"STATIC", L"cover", WS_POPUP | WS_VISIBLE, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(cover, nullptr);
    SetForegroundWindow(cover);
    Drain();
    ASSERT_TRUE(IsAbove(cover, hDlg));
    ASSERT_TRUE(PostText(hDlg, mrvWM_ERROR, "0000012A0049006E006B"));
    ASSERT_TRUE(PumpUntil([&] { return closer.Seen() == 1; }, 10000));
    closer.Stop();
    EXPECT_EQ(closer.Seen(), 1);
    EXPECT_TRUE(aboveAtBox);
    EXPECT_EQ(seen.caption, L"ERROR 0x0000012A");
    EXPECT_EQ(seen.text, L"Ink");
    EXPECT_EQ(seen.owner, hDlg);
    EXPECT_TRUE(m_Debug.Contains("Ink")); // the decoded text goes to the debugger output too
    DestroyWindow(cover);
}

TEST_F(MainDialogTest, CloseHidesAndTabSwitchShowsOnlyTheSelectedPage)
{
    Make();
    m_pDialog->Show();
    ASSERT_TRUE(IsWindowVisible(Dlg()));
    for (int index : {1, 0, 1}) {
        SelectTab(index);
        EXPECT_EQ(HasVisibleStyle(MonitorPage()), index == 0) << index;
        EXPECT_EQ(HasVisibleStyle(InfoPage()), index == 1) << index;
        EXPECT_TRUE(IsWindowVisible(Dlg()));
    }
    // Closing only hides: the window and its pages stay.
    SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    Drain();
    EXPECT_TRUE(IsWindow(Dlg()));
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    EXPECT_TRUE(HasVisibleStyle(InfoPage()));
}

// The reading rule has its own table; here: read at construction.
TEST_F(MainDialogTest, UpdateTimeIsReadWhenTheDialogIsConstructed)
{
    m_Registry.SetUpdateTime(L"75ms");
    EXPECT_EQ(mrvMainDialog(*m_pPrinter).GetUpdateTime(), 75u);
}
