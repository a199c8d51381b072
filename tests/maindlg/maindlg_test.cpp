#include "dialog_driver.h"
#include "maindlg_fixture.h"
#include "messages.h"
#include "window_probe.h"
#include <cstring>

using namespace mrvAPI;
using mdtest::CursorAfterSetCursor;
using mdtest::HasVisibleStyle;
using mdtest::MainDialogTest;
using mdtest::PumpUntil;
using mdtest::Text;
using qsmtest::WindowText;

namespace {

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

void DeliverText(HWND hDlg, UINT message, const char* text)
{
    ASSERT_TRUE(PostText(hDlg, message, text));
    Drain();
}

std::wstring TabText(HWND hTab, int index)
{
    wchar_t text[128] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(hTab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return text;
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

    EXPECT_FALSE(dialog.IsSavingLog());
    EXPECT_EQ(CursorAfterSetCursor(Dlg()), LoadCursorW(nullptr, IDC_ARROW));

    DestroyDialog();
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Stop()"), 1u);
    EXPECT_FALSE(IsWindow(monitor));
    EXPECT_FALSE(IsWindow(info));
}

TEST_F(MainDialogTest, WorkerValuesReachTheMonitorPage)
{
    Make();
    HWND monitor = MonitorPage();
    HWND list = GetDlgItem(monitor, 1004);
    struct BarCase {
        UINT message;
        WPARAM value;
        int control;
        int position;
    };
    const BarCase bars[] = {
        {mrvWM_INK_LEVEL, 57, 1005, 57}, {mrvWM_INK_LEVEL, 0, 1005, 0},   {mrvWM_INK_LEVEL, 255, 1005, 100},
        {mrvWM_UV_LAMP, 100, 1006, 100}, {mrvWM_UV_LAMP, 3, 1006, 3},     {mrvWM_UV_LAMP, 101, 1006, 100},
    };
    for (const BarCase& c : bars) {
        SCOPED_TRACE(std::to_string(c.message) + " " + std::to_string(c.value));
        Deliver(Dlg(), c.message, c.value);
        EXPECT_EQ(SendDlgItemMessageW(monitor, c.control, PBM_GETPOS, 0, 0), c.position);
    }

    // Status codes and numbers each add a line; nothing is ever trimmed.
    struct LineCase {
        UINT message;
        WPARAM value;
        std::wstring line;
    };
    const LineCase lines[] = {
        {mrvWM_STATUS, 40, Text(40)},
        {mrvWM_NUMBER, 300, Text(19) + L" 300 " + Text(20)},
        {mrvWM_STATUS, 25, Text(25)},
        {mrvWM_NUMBER, 0x1FFFF, Text(19) + L" 65535 " + Text(20)}, // 16 bits only
        {mrvWM_STATUS, 40, Text(40)},
    };
    int count = qsmtest::ListBoxCount(list);
    for (const LineCase& c : lines) {
        SCOPED_TRACE(std::to_string(c.message) + " " + std::to_string(c.value));
        Deliver(Dlg(), c.message, c.value);
        ASSERT_EQ(qsmtest::ListBoxCount(list), ++count);
        EXPECT_EQ(qsmtest::ListBoxLine(list, count - 1), c.line);
    }
}

TEST_F(MainDialogTest, WorkerTextsReachTheMonitorPageAsPosted)
{
    Make();
    HWND monitor = MonitorPage();
    DeliverText(Dlg(), mrvWM_MAT_CODE, "MC-77");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1007)), L"MC-77");
    DeliverText(Dlg(), mrvWM_MAT_CODE, "Gr\xC3\xBCn");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1007)), L"Gr\u00FCn");

    DeliverText(Dlg(), mrvWM_PRINTJOB, "Poster A1");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1018)), Text(23) + L" Poster A1");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1017)), Text(22) + L" 0");
    DeliverText(Dlg(), mrvWM_PRINTJOB, "");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, 1018)), Text(23) + L" ");

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

struct ErrorCase {
    const char* name;
    std::string record;
    bool box;
    std::wstring caption;
    std::wstring text;
};

class ErrorReport : public MainDialogTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorReport, ShowsTheHiddenWindowAndItsBox)
{
    const ErrorCase& c = GetParam();
    Make();
    HWND hDlg = Dlg();
    qsmtest::MessageBoxView seen;
    bool visibleAtBox = false;
    mdtest::DialogDriver closer(L"ERROR 0x", [&](HWND box) -> UINT {
        seen = qsmtest::ReadMessageBox(box);
        visibleAtBox = IsWindowVisible(hDlg) != FALSE;
        return IDOK;
    });
    ASSERT_TRUE(PostText(hDlg, mrvWM_ERROR, c.record.c_str()));
    // The box, if any, is shown and closed inside this pump.
    ASSERT_TRUE(PumpUntil([&] { return m_Debug.Contains("mrvMainDialog::DlgProc mrvWM_ERROR"); }, 10000));
    closer.Stop();

    EXPECT_EQ(m_Debug.Count("mrvMainDialog::DlgProc mrvWM_ERROR"), 1u);
    ASSERT_EQ(closer.Seen(), c.box ? 1 : 0);
    if (!c.box) {
        EXPECT_FALSE(IsWindowVisible(hDlg));
        return;
    }
    EXPECT_EQ(seen.caption, c.caption);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.owner, hDlg);
    EXPECT_TRUE(visibleAtBox);
    EXPECT_TRUE(IsWindowVisible(hDlg));
}

INSTANTIATE_TEST_SUITE_P(
    Records, ErrorReport,
    ::testing::Values(ErrorCase{"EightCharactersAreDropped", "0000012A", false, L"", L""},
                      ErrorCase{"NineCharactersGiveAnEmptyText", "0000012AF", true, L"ERROR 0x0000012A", L""},
                      ErrorCase{"EightPlusTenDecodeTwoUnits", "0000012A00410042CD", true, L"ERROR 0x0000012A", L"AB"},
                      ErrorCase{"NonHexGroupGivesReplacement", "00000999004Azz!!0042", true, L"ERROR 0x00000999",
                                L"J\uFFFDB"}),
    [](const ::testing::TestParamInfo<ErrorCase>& p) { return std::string(p.param.name); });

TEST_F(MainDialogTest, ErrorTextGoesToTheDebuggerOutputDecoded)
{
    Make();
    mdtest::DialogDriver closer(L"ERROR 0x", IDOK);
    ASSERT_TRUE(PostText(Dlg(), mrvWM_ERROR, "00000130004C0061006D0070"));
    ASSERT_TRUE(PumpUntil([&] { return closer.Seen() == 1; }, 10000));
    EXPECT_TRUE(m_Debug.Contains("Lamp"));
}

TEST_F(MainDialogTest, ErrorBringsACoveredWindowToTheFront)
{
    Make();
    m_pDialog->Show();
    HWND hDlg = Dlg();
    RECT rect = {};
    GetWindowRect(hDlg, &rect);
    HWND cover = CreateWindowExW(0, L"STATIC", L"cover", WS_POPUP | WS_VISIBLE, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(cover, nullptr);
    SetForegroundWindow(cover);
    Drain();
    ASSERT_TRUE(IsAbove(cover, hDlg));

    bool aboveAtBox = false;
    HWND owner = nullptr;
    mdtest::DialogDriver closer(L"ERROR 0x", [&](HWND box) -> UINT {
        owner = GetWindow(box, GW_OWNER);
        aboveAtBox = IsAbove(hDlg, cover);
        return IDOK;
    });
    ASSERT_TRUE(PostText(hDlg, mrvWM_ERROR, "0000012A0041"));
    ASSERT_TRUE(PumpUntil([&] { return closer.Seen() == 1; }, 10000));
    closer.Stop();
    EXPECT_EQ(owner, hDlg);
    EXPECT_TRUE(aboveAtBox);
    DestroyWindow(cover);
}

TEST_F(MainDialogTest, CloseHidesAndTabSwitchShowsOnlyTheSelectedPage)
{
    Make();
    m_pDialog->Show();
    ASSERT_TRUE(IsWindowVisible(Dlg()));
    for (int index : {1, 0, 1}) {
        SCOPED_TRACE(index);
        SelectTab(index);
        EXPECT_EQ(HasVisibleStyle(MonitorPage()), index == 0);
        EXPECT_EQ(HasVisibleStyle(InfoPage()), index == 1);
        EXPECT_TRUE(IsWindowVisible(Dlg()));
    }
    // Closing only hides: the window and its pages stay.
    SendMessageW(Dlg(), WM_CLOSE, 0, 0);
    Drain();
    EXPECT_TRUE(IsWindow(Dlg()));
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    EXPECT_TRUE(HasVisibleStyle(InfoPage()));
}

struct UpdateTimeCase {
    const char* name;
    const wchar_t* value; // null: no value
    DWORD expected;
    bool debugLine;
};

class UpdateTime : public MainDialogTest, public ::testing::WithParamInterface<UpdateTimeCase> {};

TEST_P(UpdateTime, IsReadWhenTheDialogIsConstructed)
{
    const UpdateTimeCase& c = GetParam();
    if (c.value)
        m_Registry.SetUpdateTime(c.value);
    else
        m_Registry.Remove(L"UpdateTime");
    m_Debug.Clear();
    mrvMainDialog dialog(*m_pPrinter);
    EXPECT_EQ(dialog.GetUpdateTime(), c.expected);
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::mrvMainDialog"), c.debugLine ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Values, UpdateTime,
                         ::testing::Values(UpdateTimeCase{"Number", L"250", 250, false},
                                           UpdateTimeCase{"NumberWithTail", L"75ms", 75, false},
                                           UpdateTimeCase{"NoLeadingNumber", L"abc", 0, false},
                                           UpdateTimeCase{"Missing", nullptr, 1000, true}),
                         [](const ::testing::TestParamInfo<UpdateTimeCase>& p) {
                             return std::string(p.param.name);
                         });
