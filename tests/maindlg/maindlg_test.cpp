#include "dialog_driver.h"
#include "maindlg_fixture.h"
#include "messages.h"
#include <cstring>

using namespace mdtest;

namespace {

const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);

// Messages that this thread posted to itself are all in the queue: one pass
// hands them to the dialog.
void Drain()
{
    PumpUntil([] { return true; }, 0);
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
    while (a && a != b)
        a = GetWindow(a, GW_HWNDNEXT);
    return a != nullptr;
}

} // namespace

TEST_F(MainDialogTest, CreationBuildsTitleTabsAndPagesAndStartsTheWorkerHidden)
{
    Make();
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Start()"), 1u);
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    const std::wstring title = Text(6) + L" (" + PrinterName() + L", FILE:)";
    EXPECT_EQ(WindowText(Dlg()), title);
    EXPECT_EQ(mrvMainDialog::MakeTitle(PrinterName(), L"FILE:"), title); // a second instance looks for it
    ASSERT_EQ(SendMessageW(Tab(), TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(uitest::TabText(Tab(), 0) + uitest::TabText(Tab(), 1), Text(11) + Text(12));

    // Both pages translated, the Monitor page selected; both sit two pixels below the
    // first tab's header, at the tab's left edge.
    const HWND monitor = MonitorPage(), info = InfoPage();
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_STATUS_FRAME)) + WindowText(GetDlgItem(info, IDC_SAVE_LOG)), Text(7) + Text(16));
    RECT header = {};
    SendMessageW(Tab(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header));
    const RECT tab = RectInClient(Tab(), Dlg());
    for (HWND page : {monitor, info}) {
        const RECT placed = RectInClient(page, Dlg());
        EXPECT_EQ(placed.left, tab.left);
        EXPECT_EQ(placed.top, tab.top + (header.bottom - header.top) + 2);
    }

    // Close only hides; the tab switch shows only the selected page.
    m_pDialog->Show();
    for (int index : {1, 0, 1}) {
        SelectTab(index);
        EXPECT_EQ(IsWindowVisible(monitor) != FALSE, index == 0) << index;
        EXPECT_EQ(IsWindowVisible(info) != FALSE, index == 1) << index;
    }
    SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    Drain();
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    EXPECT_TRUE(IsWindow(info));
    DestroyDialog();
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Stop()"), 1u);
    EXPECT_FALSE(IsWindow(monitor) || IsWindow(info));
}

// The dialog's part: each message reaches its control, numbers cut to 16 bits; the
// text is copied when posted, so the worker may refill its buffer at once.
TEST_F(MainDialogTest, WorkerValuesReachTheMonitorPage)
{
    Make();
    const HWND monitor = MonitorPage();
    const std::pair<UINT, WPARAM> posts[] = {{mrvWM_INK_LEVEL, 57}, {mrvWM_UV_LAMP, 3}, {mrvWM_STATUS, 40}, {mrvWM_NUMBER, 0x1FFFF}};
    for (const auto& post : posts)
        ASSERT_TRUE(PostMessageW(Dlg(), post.first, post.second, 0));
    char buffer[32] = "first";
    ASSERT_TRUE(PostText(Dlg(), mrvWM_MAT_CODE, buffer));
    std::strcpy(buffer, "second");
    ASSERT_TRUE(PostText(Dlg(), mrvWM_PRINTJOB, buffer));
    std::strcpy(buffer, "third");
    Drain();
    EXPECT_EQ(SendDlgItemMessageW(monitor, IDC_INK_LEVEL, PBM_GETPOS, 0, 0), 57);
    EXPECT_EQ(SendDlgItemMessageW(monitor, IDC_UV_LAMP, PBM_GETPOS, 0, 0), 3);
    EXPECT_EQ(uitest::ListLines(GetDlgItem(monitor, IDC_STATUS_LIST)), (std::vector<std::wstring>{Text(40), Text(19) + L" 65535 " + Text(20)}));
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_MAT_CODE)), L"first");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_JOB_NAME)), Text(23) + L" second");
}

// A record too short to decode is dropped: no box, the window stays hidden. A
// decoded one raises a covered window before its box comes up.
TEST_F(MainDialogTest, ErrorRecordsAreDecodedAndRaiseTheirWindowBeforeTheBox)
{
    Make();
    const HWND hDlg = Dlg();
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
                            rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(cover);
    Drain();
    ASSERT_TRUE(IsAbove(cover, hDlg));
    ASSERT_TRUE(PostText(hDlg, mrvWM_ERROR, "0000012A0049006E006B"));
    ASSERT_TRUE(PumpUntil([&] { return closer.Seen() == 1; }, 10000));
    closer.Stop();
    EXPECT_EQ(closer.Seen(), 1);
    EXPECT_TRUE(aboveAtBox);
    EXPECT_EQ(seen.caption + L"|" + seen.text, L"ERROR 0x0000012A|Ink");
    EXPECT_EQ(seen.owner, hDlg);
    EXPECT_TRUE(m_Debug.Contains("Ink")); // to the debugger output too
    DestroyWindow(cover);
}

TEST_F(MainDialogTest, UpdateTimeIsReadWhenTheDialogIsConstructed)
{
    m_Registry.SetUpdateTime(L"75ms");
    EXPECT_EQ(mrvMainDialog(*m_pPrinter).GetUpdateTime(), 75u);
}
