// The tray window in this process: the dialog list against the spooler, the
// commands, the icon callback and the menu.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "dialog_driver.h"
#include "item.h"
#include "maindlg.h"
#include "messages.h"
#include "resource.h"
#include "temp_folder.h"
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

// Every thread but this one sleeps as it writes its last line, so that the stop
// waits, handling what other threads send meanwhile.
class SlowWorkers {
public:
    explicit SlowWorkers(DWORD ms) : m_hHandler(nullptr)
    {
        s_Ui = GetCurrentThreadId();
        s_Ms = ms;
        m_hHandler = AddVectoredExceptionHandler(1, &Handler); // before any capture
    }
    ~SlowWorkers() { RemoveVectoredExceptionHandler(m_hHandler); }
    SlowWorkers(const SlowWorkers&) = delete;
    SlowWorkers& operator=(const SlowWorkers&) = delete;

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD* r = info->ExceptionRecord;
        if (r->ExceptionCode == 0x40010006 && r->NumberParameters >= 2 && GetCurrentThreadId() != s_Ui &&
            r->ExceptionInformation[1] && strstr(reinterpret_cast<const char*>(r->ExceptionInformation[1]), "> stopped."))
            Sleep(s_Ms);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static inline DWORD s_Ui = 0;
    static inline DWORD s_Ms = 0;
    void* m_hHandler;
};

// While the dialogs go (Exit, the session's end), a settings change, a second session
// end and a restarted shell are sent from another thread, with a printer removed and
// one added: nothing is rebuilt, created or handed to the shell, each dialog goes once.
TEST_F(TrayWindow, WhatIsSentWhileTheDialogsGoFindsNothingToTouch)
{
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    for (const bool exit : {true, false}) {
        SCOPED_TRACE(exit ? "Exit" : "session end");
        for (const wchar_t* letter : {L"A", L"B", L"C"})
            Install(letter);
        Build();
        ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"B")));
        Install(L"D");
        int restarts = 0, ends = 0;
        m_pTray->SetShellHandlers([&] { ++restarts; }, [&] { ++ends; });
        const HWND hTray = Tray();
        qsmtest::DebugCapture capture;
        SlowWorkers slow(300);
        std::atomic<bool> sent(false);
        std::thread sender([&] {
            qsmtest::PollUntil(5000, [&] { return capture.CountContaining("will be stopped now.") > 0; });
            for (UINT message : {UINT(WM_SETTINGCHANGE), UINT(WM_ENDSESSION), taskbarCreated})
                SendMessageTimeoutW(hTray, message, message == WM_ENDSESSION, 0, SMTO_NORMAL, 5000, nullptr);
            sent = true;
        });
        if (exit)
            m_pTray.reset();
        else
            SendMessageW(hTray, WM_ENDSESSION, TRUE, 0);
        PumpUntil([&] { return sent.load(); }, 10000);
        sender.join();
        EXPECT_EQ(capture.CountContaining("WM_SETTINGCHANGE Printer name changed"), 1u);
        EXPECT_EQ(capture.CountContaining("> started."), 0u);
        EXPECT_EQ(capture.CountContaining("m_pUpdate->Stop()"), 3u);
        EXPECT_EQ(capture.CountContaining("stop normal."), 3u);
        EXPECT_EQ(restarts, 0);
        EXPECT_EQ(ends, exit ? 0 : 1);
        if (!exit) {
            EXPECT_EQ(m_pTray->GetDialogCount() + m_pTray->GetRetiredCount(), 0u);
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        m_pTray.reset();
        for (const wchar_t* letter : {L"A", L"C", L"D"})
            ASSERT_TRUE(m_Spooler.RemovePrinter(Name(letter)));
    }
}

// The worker's own box (here: no language monitor for a log) goes when its window
// does, by Exit, the session's end or the printer's removal; the worker ends itself.
TEST_F(TrayWindow, AWorkersBoxGoesWithItsWindowAndTheWorkerEndsNormally)
{
    Install(L"A");
    qsmtest::TempFolder folder;
    const std::wstring text = L"Internal error - no connection to language monitor.";
    const struct {
        const char* name;
        bool removed;
        std::function<void()> act;
    } cases[] = {
        {"Exit", false, [&] { m_pTray.reset(); }},
        {"session end", false, [&] { SendMessageW(Tray(), WM_ENDSESSION, TRUE, 0); }},
        {"removal", true, [&] { SettingChange(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Build();
        {
            qsmtest::DialogDriver save(L"Save As", [&](HWND hSave) -> UINT {
                const std::wstring path = folder.FileName(L"printer.log");
                SendMessageW(GetDlgItem(hSave, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                return IDOK;
            });
            PostMessageW(Dialog(0)->GetHwnd(), WM_COMMAND, IDC_SAVE_LOG, 0);
            HWND hBox = nullptr;
            ASSERT_TRUE(PumpUntil([&] { return (hBox = qsmtest::WaitForMessageBox(L"Error", 0)) != nullptr; }, 10000));
            EXPECT_EQ(qsmtest::ReadMessageBox(hBox).text, text);
        }
        if (c.removed) {
            ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
        }
        qsmtest::DebugCapture capture;
        const ULONGLONG start = GetTickCount64();
        c.act();
        EXPECT_LT(GetTickCount64() - start, 900u);
        EXPECT_EQ(qsmtest::WaitForMessageBox(L"Error", 0), nullptr);
        EXPECT_EQ(capture.CountContaining("stop normal."), 1u);
        EXPECT_EQ(capture.CountContaining("terminate thread"), 0u);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        m_pTray.reset();
    }
}

} // namespace
