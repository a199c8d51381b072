#include "debug.h"
#include "handle.h"
#include "dialog.h"
#include "exception.h"
#include "language.h"
#include "maindlg.h"
#include "printer.h"
#include "resource.h"
#include "settings.h"
#include "trydlg.h"
#include "utils.h"
#include <commctrl.h>
#include <cassert>
#include <cstddef>
#include <memory>
#include <shellapi.h>

using namespace mrvAPI;

namespace {

constexpr DWORD kIconRetryMs = 200;
// The argument of the logon start (the Run value): local printer names hold no
// backslash, so it never names a printer.
const wchar_t kLogonArgument[] = L"\\logon";
constexpr ULONGLONG kSpoolerWaitMs = 60000;
constexpr DWORD kSpoolerRetryMs = 1000;
// Held by the instance that runs; a second start hands over to it.
const wchar_t kInstanceMutex[] = L"QuillorStatusMonitor";

// Raises the windows of the instance that already runs: all of them, or the one
// of the printer named on the command line.
int HandOver(const std::wstring& requested)
{
    mrvPrinter::Enumerate(L"");
    const UINT count = mrvPrinter::GetCount();
    for (UINT i = 0; i < count; ++i) {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (!printer)
            continue;
        const std::wstring title = mrvMainDialog::MakeTitle(printer->GetName(), printer->GetPort());
        HWND hWnd = FindWindowExW(nullptr, nullptr, nullptr, title.c_str());
        if (hWnd && (requested.empty() || printer->GetName() == requested)) {
            ShowWindow(hWnd, SW_SHOW);
            SetForegroundWindow(hWnd);
        }
    }
    mrvPrinter::Clear();
    return 0;
}

// Right after logon the spooler may still be starting: an enumeration that fails or lists
// nothing is tried again for a while. Another instance (a start by hand) ends the wait,
// since this one would only hand over to it.
void WaitForSpooler()
{
    const ULONGLONG deadline = GetTickCount64() + kSpoolerWaitMs;
    for (;;) {
        const bool listed = mrvPrinter::Enumerate(L"") && mrvPrinter::GetCount() > 0;
        mrvPrinter::Clear();
        if (listed || GetTickCount64() >= deadline)
            return;
        mrvKernelHandle other(OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex));
        if (other.Get())
            return;
        Sleep(kSpoolerRetryMs);
    }
}

// The program's icon in the notification area: added at start, added again whenever
// the shell restarts, removed (and the icon destroyed) when the object goes, also
// when an exception leaves the pump.
class TrayIcon {
public:
    TrayIcon(HWND hWnd, HICON hIcon) : m_Record(), m_Added(false)
    {
        // The layout up to guidItem: the newest one every shell since Vista accepts.
        m_Record.cbSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
        m_Record.hWnd = hWnd;
        m_Record.uID = 0;
        m_Record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        m_Record.uCallbackMessage = mrvTryDialog::kIconCallback;
        m_Record.hIcon = hIcon;
        lstrcpynW(m_Record.szTip, L"Status Monitor", ARRAYSIZE(m_Record.szTip));
    }
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // The shell may not be ready yet at log-on; wait for it.
    void Add()
    {
        while (!Shell_NotifyIconW(NIM_ADD, &m_Record))
            Sleep(kIconRetryMs);
        m_Added = true;
    }
    // A restarted shell has forgotten every icon; it is ready when it says so.
    void Restore()
    {
        if (m_Added)
            Shell_NotifyIconW(NIM_ADD, &m_Record);
    }
    void Remove()
    {
        if (m_Added)
            Shell_NotifyIconW(NIM_DELETE, &m_Record);
        m_Added = false;
        if (m_Record.hIcon)
            DestroyIcon(m_Record.hIcon);
        m_Record.hIcon = nullptr;
    }

private:
    NOTIFYICONDATAW m_Record;
    bool m_Added;
};

// The command line after the program name, as the system holds it: the narrow
// one that WinMain is given loses every character outside the ANSI code page.
std::wstring CommandTail(const wchar_t* commandLine)
{
    const wchar_t* p = commandLine ? commandLine : L"";
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p > L' ')
            ++p;
    }
    while (*p && *p <= L' ')
        ++p;
    return p;
}

int Run(HINSTANCE hInstance)
{
    InitCommonControls();
    const std::wstring requested = CommandTail(GetCommandLineW());
    // Started at logon, for every user: quiet where there is nothing to show.
    const bool atLogon = requested == kLogonArgument;

    mrvLanguages::Load();
    struct LanguageGuard {
        ~LanguageGuard() { mrvLanguages::Clear(); }
    } languageGuard;

    if (atLogon)
        WaitForSpooler();
    mrvKernelHandle mutex(CreateMutexW(nullptr, TRUE, kInstanceMutex));
    if (!mutex.Get())
        return 0;
    const std::wstring filter = mrvSettings::ReadPrinterFilter("WinMain");
    if (WaitForSingleObject(mutex.Get(), 500) == WAIT_TIMEOUT) {
        mutex.Reset();
        return HandOver(requested);
    }
    struct MutexRelease {
        HANDLE h;
        // Owned twice (creation and wait); give up every count.
        ~MutexRelease()
        {
            while (ReleaseMutex(h)) {
            }
        }
    } mutexRelease{mutex.Get()};

    mrvPrinter::Enumerate(filter.c_str());
    struct PrinterListGuard {
        ~PrinterListGuard() { mrvPrinter::Clear(); }
    } printerListGuard;

    std::unique_ptr<mrvTryDialog> tray(new mrvTryDialog());
    tray->Create(hInstance, IDD_MAIN_DIALOG, -1, 0);
    tray->Hide();

    if (mrvTryDialog::CountMonitoredPrinters() == 0) {
        if (atLogon)
            return 0;
        // Gone before the box: a settings change during it must not build windows
        // and workers for a program that is ending.
        tray.reset();
        MessageBoxW(nullptr, mrvLanguages::GetText(1).c_str(), mrvLanguages::GetText(3).c_str(), MB_ICONWARNING);
        return 1;
    }

    HICON hIcon = static_cast<HICON>(
        LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_STATUSMONITOR), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    assert(hIcon && "icon 109");
    TrayIcon icon(tray->GetHwnd(), hIcon);
    // The shell of a lower integrity level may still tell an elevated instance.
    ChangeWindowMessageFilterEx(tray->GetHwnd(), RegisterWindowMessageW(L"TaskbarCreated"), MSGFLT_ALLOW, nullptr);
    tray->SetShellHandlers([&icon] { icon.Restore(); }, [&icon] { icon.Remove(); });
    icon.Add();

    if (requested.empty() || atLogon)
        tray->ShowAll();
    else
        tray->ShowByName(requested);

    HACCEL hAccel = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    tray->MessagePump(hAccel);

    icon.Remove();
    tray.reset();
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    try {
        return Run(hInstance);
    } catch (const mrvException& e) {
        std::wstring report;
        try {
            report = mrvUtils::M2W(e.GetReport("\n"));
        } catch (...) {
            report = L"Exception caused:";
        }
        MessageBoxW(nullptr, report.c_str(), L"Critical error.", MB_ICONWARNING);
        return -1;
    }
}
