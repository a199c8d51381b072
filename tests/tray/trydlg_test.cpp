// The tray window in this process: the dialog list against the spooler, the
// commands, the icon callback and the menu.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "item.h"
#include "maindlg.h"
#include "messages.h"
#include "trydlg.h"
#include <atomic>
#include <thread>
#include <utility>

using namespace mrvAPI;
using qsmtest::PumpUntil;
using qsmtest::SpoolerFixture;
using Strings = std::vector<std::wstring>;

namespace {

class TrayWindow : public uitest::TrayTest {
protected:
    TrayWindow() : TrayTest(L"Tray") {}
    void TearDown() override
    {
        m_pTray.reset();
        mrvPrinter::Clear();
        TrayTest::TearDown();
    }
    void Build()
    {
        mrvPrinter::Enumerate((SpoolerFixture::Tag() + L" Tray").c_str());
        m_pTray = std::make_unique<mrvTryDialog>();
        m_pTray->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        m_pTray->Hide();
    }
    HWND Tray() const { return m_pTray->GetHwnd(); }
    mrvMainDialog* Dialog(size_t i) const { return m_pTray->GetDialog(i); }
    void SettingChange() { SendMessageW(Tray(), WM_SETTINGCHANGE, 0, 0); }

    // "<letter><port>" and "+" when shown, for every dialog in list order.
    Strings Dialogs() const
    {
        Strings list;
        for (size_t i = 0; i < m_pTray->GetDialogCount(); ++i) {
            const mrvPrinter& p = Dialog(i)->GetPrinter();
            list.push_back(p.GetName().substr(13, 1) + p.GetPort() + (IsWindowVisible(Dialog(i)->GetHwnd()) ? L"+" : L""));
        }
        return list;
    }
    // A click on the icon; the menu is closed as soon as it is open. The menu posts
    // WM_NULL to the tray afterwards, so that it closes on the next click elsewhere.
    // Gives the entries, "-" for a separator, each with its command.
    Strings ClickIcon(LPARAM button)
    {
        std::atomic<bool> seen(false);
        std::thread closer([&] {
            seen = PumpUntil([] { HWND h = FindWindowW(L"#32768", nullptr); return h && IsWindowVisible(h); }, 5000);
            PostMessageW(Tray(), WM_CANCELMODE, 0, 0);
        });
        SendMessageW(Tray(), mrvTryDialog::kIconCallback, 0, button);
        closer.join();
        MSG msg;
        const bool nullPosted = PeekMessageW(&msg, Tray(), WM_NULL, WM_NULL, PM_REMOVE);
        Strings entries{seen && nullPosted ? L"closed" : L"not seen"};
        const HMENU hMenu = m_pTray->GetPopupMenu()->GetHmenu();
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(hMenu, i, text, 256, MF_BYPOSITION);
            entries.push_back((GetMenuState(hMenu, i, MF_BYPOSITION) & MF_SEPARATOR ? L"-" : text) + std::to_wstring(GetMenuItemID(hMenu, i)));
        }
        return entries;
    }

    std::unique_ptr<mrvTryDialog> m_pTray;
};

// A settings change delivered while a rebuild creates a window (here: sent from a
// creation hook) is folded into one more pass, never run inside the first.
HHOOK g_hNestingHook = nullptr;
HWND g_hNestingTray = nullptr;

LRESULT CALLBACK SendSettingChangeOnCreate(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && g_hNestingTray)
        SendMessageW(std::exchange(g_hNestingTray, nullptr), WM_SETTINGCHANGE, 0, 0);
    return CallNextHookEx(g_hNestingHook, code, wParam, lParam);
}

// One settings change after another: unchanged dialogs stay as they are, removed
// and moved printers lose theirs, new and moved ones come hidden at the end, a
// change that comes during a rebuild is one more pass, and the menu follows the list.
TEST_F(TrayWindow, DialogListAndMenuFollowTheSpooler)
{
    Install(L"A");
    Install(L"B");
    Install(L"C&D", L"LPT1:");
    Install(L"D", SpoolerFixture::ComPort());
    Build();
    EXPECT_EQ(Dialogs(), (Strings{L"AFILE:", L"BFILE:", L"CLPT1:"}));
    EXPECT_FALSE(IsWindowVisible(Tray()));
    EXPECT_EQ(mrvTryDialog::CountMonitoredPrinters(), 3u);
    EXPECT_EQ(qsmtest::WindowText(Dialog(2)->GetHwnd()), mrvLanguages::GetText(6) + L" (" + Name(L"C&D") + L", LPT1:)");
    qsmtest::DebugCapture capture;
    // "&" doubled in the menu is drawn as itself instead of marking the next letter.
    EXPECT_EQ(ClickIcon(WM_RBUTTONDOWN), (Strings{L"closed", Name(L"A") + L"2001", Name(L"B") + L"2002", Name(L"C&&D") + L"2003",
                                                   L"-0", mrvLanguages::GetText(4) + L"2000"}));
    for (const char* line : {"addMenuEntries 1", "addMenuEntries 2 0\n", "addMenuEntries 2 2\n", "TrackMenu\n"})
        EXPECT_EQ(capture.Count(line), 1u) << line;

    m_pTray->ShowByName(Name(L"B"));
    m_pTray->ShowByName(Name(L"C&D"));
    const mrvMainDialog *a = Dialog(0), *c = Dialog(2);
    const HWND hA = a->GetHwnd(), hB = Dialog(1)->GetHwnd();
    SettingChange();
    EXPECT_TRUE(capture.Contains("WM_SETTINGCHANGE Printer name changed"));
    EXPECT_EQ(Dialog(0), a);
    EXPECT_EQ(Dialog(1)->GetHwnd(), hB);
    EXPECT_EQ(Dialogs(), (Strings{L"AFILE:", L"BFILE:+", L"CLPT1:+"}));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 0u);

    ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"B"), L"LPT1:"));
    SettingChange();
    EXPECT_EQ(Dialogs(), (Strings{L"CLPT1:+", L"BLPT1:"}));
    EXPECT_EQ(Dialog(0), c);
    EXPECT_FALSE(IsWindow(hA) || IsWindow(hB));
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 2u);

    Install(L"E");
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"C&D"), SpoolerFixture::ComPort()));
    g_hNestingHook = SetWindowsHookExW(WH_CBT, &SendSettingChangeOnCreate, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hNestingHook, nullptr);
    g_hNestingTray = Tray();
    capture.Clear();
    SettingChange();
    UnhookWindowsHookEx(g_hNestingHook);
    EXPECT_EQ(capture.Count("WM_SETTINGCHANGE Printer name changed"), 2u);
    EXPECT_EQ(Dialogs(), (Strings{L"BLPT1:", L"EFILE:"})); // inside the first pass, E would come twice

    // No printer left: every dialog goes, the menu keeps only the exit entry, built anew.
    const HMENU hFirst = m_pTray->GetPopupMenu()->GetHmenu();
    m_Registry.SetPrinterFilter(L"no printer has this driver " + SpoolerFixture::Tag());
    capture.Clear();
    SettingChange();
    EXPECT_EQ(m_pTray->GetDialogCount(), 0u);
    EXPECT_EQ(capture.Count("updateDialogList Delete all dialogs"), 2u);
    EXPECT_EQ(capture.Count("m_pUpdate->Stop()"), 2u);
    EXPECT_EQ(ClickIcon(WM_LBUTTONDOWN), (Strings{L"closed", L"-0", mrvLanguages::GetText(4) + L"2000"}));
    EXPECT_FALSE(IsMenu(hFirst));
}

// Then a dialog whose error box is open when its printer goes must not be deleted
// under its own window procedure: it is hidden at once and deleted after the box.
TEST_F(TrayWindow, CommandsIconReportsShowByNameAndARemovalBehindAnErrorBox)
{
    Install(L"A");
    Install(L"B");
    Build();
    m_pTray->ShowByName(Name(L"A") + L" ");
    m_pTray->ShowByName(Name(L"B"));
    EXPECT_EQ(Dialogs(), (Strings{L"AFILE:", L"BFILE:+"}));
    Dialog(1)->Hide();
    // One past the last dialog, the whole wParam counting, below the first, the second;
    // then a double click posts the first printer's command, other mouse reports nothing.
    for (WPARAM wParam : {2003, 2001 + 0x10000, 1999, 2002})
        EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_COMMAND, wParam, 0), 1);
    for (LPARAM report : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, 0, WM_LBUTTONDBLCLK})
        EXPECT_EQ(m_pTray->DlgProc(Tray(), mrvTryDialog::kIconCallback, 0, report), 1);
    EXPECT_EQ(Dialogs(), (Strings{L"AFILE:", L"BFILE:+"}));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, Tray(), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message == WM_COMMAND ? msg.wParam : 0, 2001u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) || PeekMessageW(&msg, Tray(), 0, 0, PM_NOREMOVE));
    DispatchMessageW(&msg);
    EXPECT_EQ(Dialogs(), (Strings{L"AFILE:+", L"BFILE:+"}));
    EXPECT_EQ(m_pTray->GetPopupMenu(), nullptr);

    // Exit goes by the low word; closing only hides.
    for (WPARAM wParam : {2000, 2000 + 0x10000}) {
        m_pTray->DlgProc(Tray(), WM_COMMAND, wParam, 0);
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << wParam;
        EXPECT_EQ(msg.wParam, 0u);
    }
    ShowWindow(Tray(), SW_SHOW);
    EXPECT_EQ(m_pTray->DlgProc(Tray(), WM_CLOSE, 0, 0) + m_pTray->DlgProc(Tray(), WM_USER + 1, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(Tray()));

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
    EXPECT_EQ(Dialogs(), (Strings{L"BFILE:+"}));
}

} // namespace
