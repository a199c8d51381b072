// The tray window in this process: the dialog list against the spooler, the
// commands, the icon callback and the menu.
#include "debug_capture.h"
#include "fake_lm.h"
#include "item.h"
#include "language.h"
#include "maindlg.h"
#include "messages.h"
#include "printer.h"
#include "process.h"
#include "registry_fixture.h"
#include "resource.h"
#include "spooler_fixture.h"
#include "trydlg.h"
#include "window_probe.h"
#include <atomic>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace mrvAPI;
using qsmtest::PumpUntil;
using qsmtest::SpoolerFixture;
using Entries = std::vector<std::pair<std::wstring, UINT>>;

namespace {

// A visible popup menu of this process, or null.
HWND OpenMenuWindow()
{
    HWND hMenu = FindWindowW(L"#32768", nullptr);
    return hMenu && IsWindowVisible(hMenu) ? hMenu : nullptr;
}

class TrayWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitCommonControls(); }

    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
        m_Registry.SetPrinterFilter(Filter());
        m_Registry.SetUpdateTime(L"50");
        // Shown dialogs poll; a refused connection keeps their workers quick.
        m_Registry.SetTcpPort(m_Lm.Port());
        m_Lm.Refuse();
        mrvLanguages::Load();
    }

    void TearDown() override
    {
        m_pTray.reset();
        mrvPrinter::Clear();
        mrvLanguages::Clear();
    }

    // Only this program's printers pass the filter, whatever other runs left behind.
    static std::wstring Driver() { return SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" tray"; }
    static std::wstring Filter() { return SpoolerFixture::Tag() + L" tray"; }
    static std::wstring Name(const std::wstring& letter) { return SpoolerFixture::Unique(L"Quillor Tray " + letter); }

    void Install(const std::wstring& letter, const std::wstring& port)
    {
        ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port, Driver()));
    }

    void Build()
    {
        mrvPrinter::Enumerate(Filter().c_str());
        m_pTray = std::make_unique<mrvTryDialog>();
        m_pTray->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        m_pTray->Hide();
    }

    HWND Tray() const { return m_pTray->GetHwnd(); }
    mrvMainDialog* Dialog(size_t i) const { return m_pTray->GetDialog(i); }
    void SettingChange() { SendMessageW(Tray(), WM_SETTINGCHANGE, 0, 0); }

    // "<printer>, <port>" of every dialog, in list order.
    std::vector<std::wstring> Dialogs() const
    {
        std::vector<std::wstring> list;
        for (size_t i = 0; i < m_pTray->GetDialogCount(); ++i)
            list.push_back(Dialog(i)->GetPrinter().GetName() + L", " + Dialog(i)->GetPrinter().GetPort());
        return list;
    }
    std::wstring Entry(const std::wstring& letter, const std::wstring& port) const { return Name(letter) + L", " + port; }
    std::wstring Title(const std::wstring& letter, const std::wstring& port) const
    {
        return mrvLanguages::GetText(6) + L" (" + Entry(letter, port) + L")";
    }

    std::vector<bool> Visibility() const
    {
        std::vector<bool> shown;
        for (size_t i = 0; i < m_pTray->GetDialogCount(); ++i)
            shown.push_back(IsWindowVisible(Dialog(i)->GetHwnd()) != FALSE);
        return shown;
    }

    // A click on the icon; the menu is closed again as soon as it is open. The
    // menu posts WM_NULL to the tray afterwards, so that it closes on the next
    // click elsewhere.
    bool ClickIcon(LPARAM button = WM_RBUTTONDOWN)
    {
        std::atomic<bool> seen(false);
        std::thread closer([&] {
            const ULONGLONG end = GetTickCount64() + 5000;
            while (GetTickCount64() < end && !OpenMenuWindow())
                Sleep(10);
            seen = OpenMenuWindow() != nullptr;
            PostMessageW(Tray(), WM_CANCELMODE, 0, 0);
        });
        SendMessageW(Tray(), mrvTryDialog::kIconCallback, 0, button);
        closer.join();
        bool nullPosted = false;
        MSG msg;
        while (PeekMessageW(&msg, Tray(), 0, 0, PM_REMOVE))
            nullPosted = nullPosted || msg.message == WM_NULL;
        return seen && nullPosted;
    }

    // Text and command of every menu entry; separators read "-".
    Entries MenuEntries() const
    {
        Entries entries;
        HMENU hMenu = m_pTray->GetPopupMenu()->GetHmenu();
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(hMenu, i, text, 256, MF_BYPOSITION);
            const bool separator = (GetMenuState(hMenu, i, MF_BYPOSITION) & MF_SEPARATOR) != 0;
            entries.emplace_back(separator ? L"-" : text, GetMenuItemID(hMenu, i));
        }
        return entries;
    }

    qsmtest::RegistryFixture m_Registry;
    qsmtest::FakeLanguageMonitor m_Lm;
    SpoolerFixture m_Spooler;
    std::unique_ptr<mrvTryDialog> m_pTray;
};

TEST_F(TrayWindow, MonitoredMeansThePortDoesNotBeginWithCom)
{
    struct Case {
        const wchar_t* port;
        bool monitored;
    } cases[] = {
        {L"COM1:", false}, {L"COM", false}, {L"COMX", false}, {L"com1:", true},
        {L"CO", true},     {L"", true},     {L"FILE:", true}, {L"LPT1:", true},
    };
    for (const Case& c : cases) {
        const mrvPrinter printer(L"P", c.port, L"D");
        EXPECT_EQ(mrvTryDialog::IsMonitored(printer), c.monitored) << std::string(c.port, c.port + wcslen(c.port));
    }
}

// One settings change after another: unchanged dialogs stay as they are, removed
// and moved printers lose theirs, new and moved ones come hidden at the end, and
// the menu follows the list.
TEST_F(TrayWindow, DialogListAndMenuFollowTheSpooler)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Install(L"C", L"LPT1:");
    Install(L"D", SpoolerFixture::ComPort());
    Build();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"A", L"FILE:"), Entry(L"B", L"FILE:"), Entry(L"C", L"LPT1:")}));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(IsWindowVisible(Tray()));
    EXPECT_EQ(mrvTryDialog::CountMonitoredPrinters(), 3u);
    EXPECT_EQ(qsmtest::WindowText(Dialog(2)->GetHwnd()), Title(L"C", L"LPT1:"));
    {
        qsmtest::DebugCapture capture;
        ASSERT_TRUE(ClickIcon());
        EXPECT_EQ(MenuEntries(), (Entries{{Name(L"A"), 2001}, {Name(L"B"), 2002}, {Name(L"C"), 2003}, {L"-", 0},
                                          {mrvLanguages::GetText(4), 2000}}));
        std::vector<std::string> menuLines; // the dialogs' workers may write lines of their own
        for (const std::string& line : capture.Lines())
            if (line.rfind("addMenuEntries", 0) == 0 || line.rfind("TrackMenu", 0) == 0)
                menuLines.push_back(line);
        EXPECT_EQ(menuLines, (std::vector<std::string>{"addMenuEntries 1", "addMenuEntries 2 0\n", "addMenuEntries 2 1\n",
                                                       "addMenuEntries 2 2\n", "TrackMenu\n"}));
    }

    m_pTray->ShowByName(Name(L"B"));
    m_pTray->ShowByName(Name(L"C"));
    const mrvMainDialog* a = Dialog(0);
    const mrvMainDialog* c = Dialog(2);
    const HWND hA = a->GetHwnd(), hB = Dialog(1)->GetHwnd();
    qsmtest::DebugCapture capture;
    SettingChange();
    EXPECT_TRUE(capture.Contains("WM_SETTINGCHANGE Printer name changed"));
    EXPECT_EQ(Dialog(0), a);
    EXPECT_EQ(Dialog(1)->GetHwnd(), hB);
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 0u);

    ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"B"), L"LPT1:"));
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"C", L"LPT1:"), Entry(L"B", L"LPT1:")}));
    EXPECT_EQ(Dialog(0), c);
    EXPECT_FALSE(IsWindow(hA));
    EXPECT_FALSE(IsWindow(hB));
    EXPECT_EQ(Visibility(), (std::vector<bool>{true, false}));
    EXPECT_EQ(qsmtest::WindowText(Dialog(1)->GetHwnd()), Title(L"B", L"LPT1:"));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 2u);

    Install(L"E", L"FILE:");
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"C"), SpoolerFixture::ComPort()));
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"B", L"LPT1:"), Entry(L"E", L"FILE:")}));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false}));

    // No printer left: every dialog goes, the menu keeps only the exit entry, built anew.
    const HMENU hFirst = m_pTray->GetPopupMenu()->GetHmenu();
    m_Registry.SetPrinterFilter(L"no printer has this driver " + SpoolerFixture::Tag());
    capture.Clear();
    SettingChange();
    EXPECT_EQ(m_pTray->GetDialogCount(), 0u);
    EXPECT_EQ(capture.Count("updateDialogList Delete all dialogs"), 2u);
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 2u);
    ASSERT_TRUE(ClickIcon(WM_LBUTTONDOWN));
    EXPECT_FALSE(IsMenu(hFirst));
    EXPECT_EQ(MenuEntries(), (Entries{{L"-", 0}, {mrvLanguages::GetText(4), 2000}}));
}

TEST_F(TrayWindow, CommandsIconReportsAndShowByName)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    m_pTray->ShowByName(Name(L"A") + L" ");
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false}));
    m_pTray->ShowByName(Name(L"B"));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, true}));
    Dialog(1)->Hide();
    struct Case {
        WPARAM wParam;
        std::vector<bool> shown;
    } cases[] = {
        {2003, {false, false}},           // one past the last dialog
        {2001 + 0x10000, {false, false}}, // the whole wParam counts
        {1999, {false, false}},
        {2002, {false, true}},
    };
    MSG msg;
    for (const Case& c : cases) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, c.wParam, 0), 1) << c.wParam;
        EXPECT_EQ(Visibility(), c.shown) << c.wParam;
    }
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));

    // A double click posts the first printer's command; other mouse reports do nothing.
    EXPECT_EQ(m_pTray->DlgProc(Tray(), mrvTryDialog::kIconCallback, 0, WM_LBUTTONDBLCLK), 1);
    ASSERT_TRUE(PeekMessageW(&msg, Tray(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2001u);
    EXPECT_EQ(msg.lParam, 0);
    DispatchMessageW(&msg);
    EXPECT_EQ(Visibility(), (std::vector<bool>{true, true}));
    for (LPARAM other : {LPARAM(WM_MOUSEMOVE), LPARAM(WM_LBUTTONUP), LPARAM(WM_RBUTTONUP), LPARAM(0)}) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), mrvTryDialog::kIconCallback, 0, other), 1);
        EXPECT_FALSE(PeekMessageW(&msg, Tray(), 0, 0, PM_NOREMOVE)) << other;
    }
    EXPECT_EQ(m_pTray->GetPopupMenu(), nullptr);

    // Exit goes by the low word; closing only hides.
    for (WPARAM wParam : {WPARAM(2000), WPARAM(2000 + 0x10000)}) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, wParam, 0), 1);
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << wParam;
        EXPECT_EQ(msg.wParam, 0u);
    }
    ShowWindow(Tray(), SW_SHOW);
    qsmtest::DebugCapture capture;
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(Tray()));
    EXPECT_TRUE(capture.Contains("mrvTryDialog::DlgProc WM_CLOSE"));
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_PAINT, 0, 0), 0);
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_USER + 1, 0, 0), 0);
}

// A settings change delivered while a rebuild creates a window (here: sent from a
// creation hook) is folded into one more pass, never run inside the first.
HHOOK g_hNestingHook = nullptr;
HWND g_hNestingTray = nullptr;

LRESULT CALLBACK SendSettingChangeOnCreate(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && g_hNestingTray) {
        const HWND hTray = g_hNestingTray;
        g_hNestingTray = nullptr;
        SendMessageW(hTray, WM_SETTINGCHANGE, 0, 0);
    }
    return CallNextHookEx(g_hNestingHook, code, wParam, lParam);
}

TEST_F(TrayWindow, SettingChangeDuringARebuildRunsAsOneMorePass)
{
    Install(L"A", L"FILE:");
    Build();
    Install(L"B", L"FILE:");
    g_hNestingHook = SetWindowsHookExW(WH_CBT, &SendSettingChangeOnCreate, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hNestingHook, nullptr);
    g_hNestingTray = Tray();
    qsmtest::DebugCapture capture;
    SettingChange();
    UnhookWindowsHookEx(g_hNestingHook);
    EXPECT_EQ(g_hNestingTray, nullptr);
    EXPECT_EQ(capture.Count("WM_SETTINGCHANGE Printer name changed"), 2u);
    // Run inside the first pass, the second would build B's dialog twice.
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"A", L"FILE:"), Entry(L"B", L"FILE:")}));
}

// A dialog whose error box is open when its printer goes: it must not be deleted
// under its own window procedure. It is hidden at once and deleted after the box.
TEST_F(TrayWindow, DialogRemovedBehindItsErrorBoxIsDeletedAfterTheBoxCloses)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    const HWND hA = Dialog(0)->GetHwnd();
    ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
    ASSERT_TRUE(PostText(hA, mrvWM_ERROR, "0000012A0049006E006B"));

    std::atomic<bool> hiddenBehindBox(false);
    std::thread closer([&] {
        const HWND hBox = qsmtest::WaitForMessageBox(mrvLanguages::GetText(61) + L" 0x0000012A", 8000);
        if (!hBox || GetWindow(hBox, GW_OWNER) != hA)
            return;
        // Sent from another thread, as the system's broadcast comes: the box's own
        // loop delivers it while the dialog's window procedure waits for the box.
        SendMessageW(Tray(), WM_SETTINGCHANGE, 0, 0);
        hiddenBehindBox = IsWindow(hA) && !IsWindowVisible(hA) && IsWindow(hBox);
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    });
    const bool gone = PumpUntil([&] { return !IsWindow(hA); }, 10000);
    closer.join();
    EXPECT_TRUE(hiddenBehindBox);
    EXPECT_TRUE(gone);
    EXPECT_TRUE(PumpUntil([&] { return m_pTray->GetRetiredCount() == 0; }, 2000));
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"B", L"FILE:")}));
}

} // namespace
