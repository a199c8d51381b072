// A real main dialog for a test printer of the spooler, with a small language file,
// the registry values it reads and a scripted language monitor; with its real worker
// ("UpdateTime" 50 ms unless a test sets another), and the log save.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "dialog_driver.h"
#include "fake_lm.h"
#include "maindlg.h"
#include "messages.h"
#include <memory>
#include <utility>

using qsmtest::PumpUntil;
using qsmtest::WindowText;

namespace {


// The first direct child of hParent that holds a control with this id (a page or the log box).
HWND ChildHolding(HWND hParent, int controlId)
{
    HWND child = GetWindow(hParent, GW_CHILD);
    while (child && !GetDlgItem(child, controlId))
        child = GetWindow(child, GW_HWNDNEXT);
    return child;
}

class MainDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pSpooler = new qsmtest::SpoolerFixture;
        ASSERT_TRUE(s_pSpooler->InstallPrinter(PrinterName(), L"FILE:", qsmtest::SpoolerFixture::QuillorDriver()));
    }
    static void TearDownTestSuite() { delete std::exchange(s_pSpooler, nullptr); }

    void SetUp() override
    {
        m_Registry.SetUpdateTime(L"50");
        m_Registry.SetTcpPort(m_Lm.Port());
        // A shown window's worker polls: a quiet cycle, every command answered at once.
        using namespace std::string_literals;
        for (const std::string& a : {"\x05\x85\x00"s, "\x09\x89\x00\x2C\x01"s, "\x01\x81\x00\x32"s, "\x02\x82\x00\x10"s,
                                     "\x03\x83\x00\x00"s, "\x06\x86\x00MC-1"s, "\x07\x87\x00Job"s})
            m_Lm.OnCommand(static_cast<uint8_t>(a[0]), qsmtest::LmReply::Answer(a.substr(1)));
        uitest::LoadLanguage("T");
        mrvAPI::mrvPrinter::Enumerate(L"QUILLOR");
        m_pPrinter.reset(mrvAPI::mrvPrinter::Find(PrinterName().c_str()));
        ASSERT_NE(m_pPrinter, nullptr);
    }
    void TearDown() override
    {
        DestroyDialog();
        mrvAPI::mrvPrinter::Clear();
    }

    // Builds and creates the dialog hidden, as the tray window does.
    void Make()
    {
        m_pDialog = std::make_unique<mrvMainDialog>(*m_pPrinter);
        m_pDialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        m_pDialog->Hide();
    }
    void DestroyDialog()
    {
        if (m_pDialog)
            m_pDialog->Destroy();
        m_pDialog.reset();
    }
    // Text n of the test catalogue: "T<n>". It has no error-code table, so an error
    // box is captioned "ERROR 0x" + code and shows the decoded text.
    static std::wstring Text(UINT id) { return L"T" + std::to_wstring(id); }
    // Messages that this thread posted to itself are all in the queue: one pass
    // hands them to the dialog.
    static void Drain() { PumpUntil([] { return true; }, 0); }
    HWND Dlg() const { return m_pDialog->GetHwnd(); }
    HWND Tab() const { return GetDlgItem(Dlg(), IDC_TAB); }
    HWND MonitorPage() const { return ChildHolding(Dlg(), IDC_STATUS_LIST); }
    HWND InfoPage() const { return ChildHolding(Dlg(), IDC_FILE_LIST); }
    // What the tab control does on a click: select, then notify its parent.
    void SelectTab(int index)
    {
        SendMessageW(Tab(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        NMHDR header = {Tab(), IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(Dlg(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
    }
    static std::wstring PrinterName() { return qsmtest::SpoolerFixture::Unique(L"Quillor Main"); }

    bool WaitForCommand(uint8_t command, size_t count, DWORD ms = 5000)
    {
        return PumpUntil([&] { return m_Lm.CountCommand(command) >= count; }, ms);
    }
    // Presses the save-log button on the Info page as the user does, with the
    // save-file dialog answered by act; gives the number of save-file dialogs.
    int PressSaveLog(const std::function<UINT(HWND)>& act, bool onThePage = true)
    {
        qsmtest::DialogDriver driver(L"Save As", act);
        SelectTab(1);
        if (onThePage)
            SendDlgItemMessageW(InfoPage(), IDC_SAVE_LOG, BM_CLICK, 0, 0);
        else
            SendMessageW(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), 0);
        driver.Stop();
        return driver.Seen();
    }
    // Busy: tab control disabled, wait cursor over the dialog, the log box shown in
    // its middle; idle: none of it.
    void ExpectBusy(bool busy)
    {
        EXPECT_EQ(m_pDialog->IsSavingLog(), busy);
        EXPECT_EQ(IsWindowEnabled(Tab()) == FALSE, busy);
        SetCursor(nullptr);
        SendMessageW(Dlg(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Dlg()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
        const HWND box = ChildHolding(Dlg(), IDC_LOG_TEXT);
        ASSERT_EQ(box != nullptr, busy);
        if (!busy)
            return;
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

    qsmtest::DebugCapture m_Debug;
    qsmtest::FakeLanguageMonitor m_Lm;
    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
    std::unique_ptr<mrvMainDialog> m_pDialog;
    std::unique_ptr<mrvAPI::mrvPrinter> m_pPrinter;

private:
    static inline qsmtest::SpoolerFixture* s_pSpooler = nullptr;
};

using Polling = MainDialogTest; // the dialog with its worker

// True when a lies above b in the z-order of their siblings.
bool IsAbove(HWND a, HWND b)
{
    while (a && a != b)
        a = GetWindow(a, GW_HWNDNEXT);
    return a != nullptr;
}


} // namespace

TEST_F(MainDialogTest, CreationBuildsTitleTabsAndPagesAndStartsTheWorkerHiddenThenValuesAndErrorsArrive)
{
    Make();
    EXPECT_EQ(m_Debug.Count("m_pUpdate->Start()"), 1u);
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    const std::wstring title = Text(6) + L" (" + PrinterName() + L", FILE:)";
    EXPECT_EQ(WindowText(Dlg()), title);
    EXPECT_EQ(mrvMainDialog::MakeTitle(PrinterName(), L"FILE:"), title); // a second instance looks for it
    ASSERT_EQ(SendMessageW(Tab(), TCM_GETITEMCOUNT, 0, 0), 2);
    wchar_t tabs[2][16] = {};
    for (int i = 0; i < 2; ++i) {
        TCITEMW item = {TCIF_TEXT, 0, 0, tabs[i], 16, 0, 0};
        SendMessageW(Tab(), TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    EXPECT_EQ(std::wstring(tabs[0]) + tabs[1], Text(11) + Text(12));

    // Both pages translated, the Monitor page selected; both sit two pixels below the
    // first tab's header, at the tab's left edge.
    const HWND monitor = MonitorPage(), info = InfoPage();
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_STATUS_FRAME)) + WindowText(GetDlgItem(info, IDC_SAVE_LOG)), Text(7) + Text(16));
    RECT header = {}, tab = {}, placed = {};
    SendMessageW(Tab(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header));
    GetWindowRect(Tab(), &tab);
    for (HWND page : {monitor, info}) {
        GetWindowRect(page, &placed);
        EXPECT_EQ(placed.left, tab.left);
        EXPECT_EQ(placed.top, tab.top + (header.bottom - header.top) + 2);
    }

    // The worker's values reach their controls, numbers cut to 16 bits.
    const std::pair<UINT, WPARAM> posts[] = {{mrvWM_INK_LEVEL, 57}, {mrvWM_UV_LAMP, 3}, {mrvWM_STATUS, 40}, {mrvWM_NUMBER, 0x1FFFF}};
    for (const auto& post : posts)
        ASSERT_TRUE(PostMessageW(Dlg(), post.first, post.second, 0));
    ASSERT_TRUE(PostText(Dlg(), mrvWM_MAT_CODE, "first"));
    ASSERT_TRUE(PostText(Dlg(), mrvWM_PRINTJOB, "second"));
    Drain();
    EXPECT_EQ(SendDlgItemMessageW(monitor, IDC_INK_LEVEL, PBM_GETPOS, 0, 0), 57);
    EXPECT_EQ(SendDlgItemMessageW(monitor, IDC_UV_LAMP, PBM_GETPOS, 0, 0), 3);
    EXPECT_EQ(qsmtest::ListLines(GetDlgItem(monitor, IDC_STATUS_LIST)), (std::vector<std::wstring>{Text(40), Text(19) + L" 65535 " + Text(20)}));
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_MAT_CODE)), L"first");
    EXPECT_EQ(WindowText(GetDlgItem(monitor, IDC_JOB_NAME)), Text(23) + L" second");

    // A record too short to decode is dropped: no box, the window stays hidden. A
    // decoded one raises a covered window before its box comes up.
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

    // Close only hides; the tab switch shows only the selected page.
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

// A page's WM_SHOWWINDOW is not the dialog's, nor is the end of a log save (the user
// may have closed the window meanwhile): neither starts nor stops polling.
TEST_F(Polling, OnlyShowingAndClosingTheDialogStartAndStopItAndUpdateTimeIsThePause)
{
    m_Registry.SetUpdateTime(L"250");
    Make();
    SelectTab(1);
    SelectTab(0);
    ASSERT_TRUE(PostMessageW(Dlg(), WM_USER + 1, 0, 0));
    EXPECT_FALSE(PumpUntil([&] { return m_Lm.Accepted() > 0 || !m_Lm.Requests().empty(); }, 400));
    m_pDialog->Show();
    ASSERT_TRUE(WaitForCommand(5, 1));
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(WaitForCommand(5, 3));
    EXPECT_GE(GetTickCount64() - start, 480u); // two pauses
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

TEST_F(Polling, CancelChangesNothingConfirmIsBusyUntilTheLogIsWrittenAndIgnoresSecondPresses)
{
    const std::string log(326656 - 2, 'L'); // the expected length: the collection ends with the last byte
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
