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

namespace {

// A visible popup menu of this process, or null.
HWND OpenMenuWindow()
{
    HWND hMenu = FindWindowW(L"#32768", nullptr);
    return hMenu && IsWindowVisible(hMenu) ? hMenu : nullptr;
}

// "0000012A" and the text as four hexadecimal digits per UTF-16 code unit.
std::string ErrorRecordText(const std::string& code, const std::string& text)
{
    std::string record = code;
    char group[8];
    for (unsigned char c : text) {
        snprintf(group, sizeof group, "%04X", c);
        record += group;
    }
    return record;
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

    std::vector<bool> Visibility() const
    {
        std::vector<bool> shown;
        for (size_t i = 0; i < m_pTray->GetDialogCount(); ++i)
            shown.push_back(IsWindowVisible(Dialog(i)->GetHwnd()) != FALSE);
        return shown;
    }

    // A click on the icon; the menu is closed again as soon as it is open.
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
        return seen;
    }

    // Text and command of every menu entry; separators read "-".
    std::vector<std::pair<std::wstring, UINT>> MenuEntries() const
    {
        std::vector<std::pair<std::wstring, UINT>> entries;
        const mrvPopupMenu* pMenu = m_pTray->GetPopupMenu();
        if (!pMenu)
            return entries;
        HMENU hMenu = pMenu->GetHmenu();
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

TEST_F(TrayWindow, OneHiddenDialogPerMonitoredPrinterInSpoolerOrder)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"LPT1:");
    Install(L"C", SpoolerFixture::ComPort());
    Build();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"A", L"FILE:"), Entry(L"B", L"LPT1:")}));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false}));
    EXPECT_FALSE(IsWindowVisible(Tray()));
    EXPECT_EQ(mrvTryDialog::CountMonitoredPrinters(), 2u);
    EXPECT_EQ(qsmtest::WindowText(Dialog(1)->GetHwnd()),
              mrvLanguages::GetText(6) + L" (" + Name(L"B") + L", LPT1:)");
}

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

TEST_F(TrayWindow, SettingChangeKeepsUnchangedDialogsAsTheyAre)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    m_pTray->ShowByName(Name(L"B"));
    const mrvMainDialog* a = Dialog(0);
    const HWND hB = Dialog(1)->GetHwnd();
    qsmtest::DebugCapture capture;
    SettingChange();
    EXPECT_TRUE(capture.Contains("WM_SETTINGCHANGE Printer name changed"));
    ASSERT_EQ(m_pTray->GetDialogCount(), 2u);
    EXPECT_EQ(Dialog(0), a);
    EXPECT_EQ(Dialog(1)->GetHwnd(), hB);
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, true}));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 0u);
}

TEST_F(TrayWindow, RemovedPrinterLosesItsDialogAndLaterEntriesMoveUp)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Install(L"C", L"FILE:");
    Build();
    const HWND hA = Dialog(0)->GetHwnd();
    const mrvMainDialog* b = Dialog(1);
    ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
    qsmtest::DebugCapture capture;
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"B", L"FILE:"), Entry(L"C", L"FILE:")}));
    EXPECT_EQ(Dialog(0), b);
    EXPECT_FALSE(IsWindow(hA));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 1u);

    // Command 2001 now opens B.
    SendMessageW(Tray(), WM_COMMAND, 2001, 0);
    EXPECT_EQ(Visibility(), (std::vector<bool>{true, false}));
}

TEST_F(TrayWindow, PortChangeReplacesTheDialogWithAHiddenOneAtTheEnd)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    m_pTray->ShowAll();
    const HWND hA = Dialog(0)->GetHwnd();
    const mrvMainDialog* b = Dialog(1);
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"A"), L"LPT1:"));
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"B", L"FILE:"), Entry(L"A", L"LPT1:")}));
    EXPECT_EQ(Dialog(0), b);
    EXPECT_FALSE(IsWindow(hA));
    EXPECT_EQ(Visibility(), (std::vector<bool>{true, false}));
    EXPECT_EQ(qsmtest::WindowText(Dialog(1)->GetHwnd()),
              mrvLanguages::GetText(6) + L" (" + Name(L"A") + L", LPT1:)");
}

TEST_F(TrayWindow, AddedPrinterComesHiddenAtTheEndAndAComPortTakesItsDialog)
{
    Install(L"B", L"FILE:");
    Build();
    Install(L"A", L"FILE:"); // before B in the spooler's order
    Install(L"D", SpoolerFixture::ComPort());
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"B", L"FILE:"), Entry(L"A", L"FILE:")}));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false}));
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"B"), SpoolerFixture::ComPort()));
    SettingChange();
    EXPECT_EQ(Dialogs(), (std::vector<std::wstring>{Entry(L"A", L"FILE:")}));
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"A"), SpoolerFixture::ComPort()));
    SettingChange();
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(TrayWindow, NoPrinterLeftDeletesEveryDialogAndTheMenuKeepsOnlyExit)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    const HWND hA = Dialog(0)->GetHwnd();
    m_Registry.SetPrinterFilter(L"no printer has this driver " + SpoolerFixture::Tag());
    qsmtest::DebugCapture capture;
    SettingChange();
    EXPECT_EQ(m_pTray->GetDialogCount(), 0u);
    EXPECT_FALSE(IsWindow(hA));
    EXPECT_EQ(capture.Count("updateDialogList Delete all dialogs"), 2u);
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 2u);

    ASSERT_TRUE(ClickIcon());
    const std::vector<std::pair<std::wstring, UINT>> expected = {{L"-", 0}, {mrvLanguages::GetText(4), 2000}};
    EXPECT_EQ(MenuEntries(), expected);
}

TEST_F(TrayWindow, MenuListsThePrintersInDialogOrderThenTheExitEntry)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Install(L"C", SpoolerFixture::ComPort());
    Build();
    qsmtest::DebugCapture capture;
    ASSERT_TRUE(ClickIcon());
    const std::vector<std::pair<std::wstring, UINT>> expected = {
        {Name(L"A"), 2001}, {Name(L"B"), 2002}, {L"-", 0}, {mrvLanguages::GetText(4), 2000}};
    EXPECT_EQ(MenuEntries(), expected);
    const std::vector<std::string> lines = capture.Lines();
    const std::vector<std::string> menuLines = {"addMenuEntries 1", "addMenuEntries 2 0\n", "addMenuEntries 2 1\n"};
    std::vector<std::string> seen;
    for (const std::string& line : lines)
        if (line.rfind("addMenuEntries", 0) == 0)
            seen.push_back(line);
    EXPECT_EQ(seen, menuLines);

    // A left click builds a new menu; an entry added since shows up at its end.
    const HMENU first = m_pTray->GetPopupMenu()->GetHmenu();
    Install(L"D", L"FILE:");
    SettingChange();
    EXPECT_TRUE(ClickIcon(WM_LBUTTONDOWN));
    EXPECT_NE(m_pTray->GetPopupMenu()->GetHmenu(), first);
    EXPECT_FALSE(IsMenu(first));
    ASSERT_EQ(MenuEntries().size(), 5u);
    EXPECT_EQ(MenuEntries()[2], std::make_pair(Name(L"D"), 2003u));
}

TEST_F(TrayWindow, PrinterCommandsAndShowByNameShowTheirDialogOnly)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    m_pTray->ShowByName(Name(L"A") + L" ");
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, false}));
    m_pTray->ShowByName(Name(L"B"));
    EXPECT_EQ(Visibility(), (std::vector<bool>{false, true}));
    for (size_t i = 0; i < 2; ++i)
        Dialog(i)->Hide();
    struct Case {
        WPARAM wParam;
        std::vector<bool> shown;
    } cases[] = {
        {2003, {false, false}},           // one past the last dialog
        {2001 + 0x10000, {false, false}}, // the whole wParam counts
        {1999, {false, false}},
        {2002, {false, true}},
        {2001, {true, true}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, c.wParam, 0), 1) << c.wParam;
        EXPECT_EQ(Visibility(), c.shown) << c.wParam;
    }
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(TrayWindow, WithoutDialogsExitQuitsCloseHidesAndDoubleClickDoesNothing)
{
    Build();
    for (WPARAM wParam : {WPARAM(2000), WPARAM(2000 + 0x10000)}) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, wParam, 0), 1);
        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << wParam;
        EXPECT_EQ(msg.wParam, 0u);
    }

    SendMessageW(Tray(), mrvTryDialog::kIconCallback, 0, WM_LBUTTONDBLCLK);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, Tray(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, msg.wParam, msg.lParam), 1);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));

    ShowWindow(Tray(), SW_SHOW);
    qsmtest::DebugCapture capture;
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(Tray()));
    EXPECT_TRUE(capture.Contains("mrvTryDialog::DlgProc WM_CLOSE"));
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_SETTINGCHANGE, 0, 0), 1);
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_PAINT, 0, 0), 0);
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_USER + 1, 0, 0), 0);
}

TEST_F(TrayWindow, DoubleClickPostsTheFirstPrinterCommand)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Build();
    EXPECT_EQ(m_pTray->DlgProc(Tray(), mrvTryDialog::kIconCallback, 0, WM_LBUTTONDBLCLK), 1);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, Tray(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2001u);
    EXPECT_EQ(msg.lParam, 0);
    DispatchMessageW(&msg);
    EXPECT_EQ(Visibility(), (std::vector<bool>{true, false}));

    // Other mouse reports do nothing at all.
    for (LPARAM other : {LPARAM(WM_MOUSEMOVE), LPARAM(WM_LBUTTONUP), LPARAM(WM_RBUTTONUP), LPARAM(0)}) {
        EXPECT_EQ(m_pTray->DlgProc(Tray(), mrvTryDialog::kIconCallback, 0, other), 1);
        EXPECT_FALSE(PeekMessageW(&msg, Tray(), 0, 0, PM_NOREMOVE)) << other;
    }
    EXPECT_EQ(m_pTray->GetPopupMenu(), nullptr);
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
    ASSERT_TRUE(PostText(hA, mrvWM_ERROR, ErrorRecordText("0000012A", "Ink tank empty").c_str()));

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
