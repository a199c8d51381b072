#include "debug.h"
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

// Owns a kernel handle.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE h = nullptr) : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return m_h; }
    void reset()
    {
        if (m_h)
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h;
};

// Owns an icon.
class UniqueIcon {
public:
    explicit UniqueIcon(HICON h) : m_h(h) {}
    ~UniqueIcon()
    {
        if (m_h)
            DestroyIcon(m_h);
    }
    UniqueIcon(const UniqueIcon&) = delete;
    UniqueIcon& operator=(const UniqueIcon&) = delete;
    HICON get() const { return m_h; }

private:
    HICON m_h;
};

constexpr DWORD kIconRetryMs = 200;

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

NOTIFYICONDATAW MakeIconRecord(HWND hWnd, HICON hIcon)
{
    NOTIFYICONDATAW record = {};
    // The layout up to guidItem: the newest one every shell since Vista accepts.
    record.cbSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAW, hBalloonIcon));
    record.hWnd = hWnd;
    record.uID = 0;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = mrvTryDialog::kIconCallback;
    record.hIcon = hIcon;
    lstrcpynW(record.szTip, L"Status Monitor", ARRAYSIZE(record.szTip));
    return record;
}

int Run(HINSTANCE hInstance, const char* cmdLine)
{
    InitCommonControls();
    std::wstring requested;
    if (cmdLine && *cmdLine)
        requested = mrvUtils::M2W(cmdLine);

    mrvLanguages::Load();
    struct LanguageGuard {
        ~LanguageGuard() { mrvLanguages::Clear(); }
    } languageGuard;

    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, L"QuillorStatusMonitor"));
    if (!mutex.get())
        return 0;
    const std::wstring filter = mrvSettings::ReadPrinterFilter("WinMain");
    if (WaitForSingleObject(mutex.get(), 500) == WAIT_TIMEOUT) {
        mutex.reset();
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
    } mutexRelease{mutex.get()};

    mrvPrinter::Enumerate(filter.c_str());
    struct PrinterListGuard {
        ~PrinterListGuard() { mrvPrinter::Clear(); }
    } printerListGuard;

    std::unique_ptr<mrvTryDialog> tray(new mrvTryDialog());
    tray->Create(hInstance, IDD_MAIN_DIALOG, -1, 0);
    tray->Hide();

    if (mrvTryDialog::CountMonitoredPrinters() == 0) {
        MessageBoxW(nullptr, mrvLanguages::GetText(1).c_str(), mrvLanguages::GetText(3).c_str(), MB_ICONWARNING);
        return 1;
    }

    UniqueIcon icon(static_cast<HICON>(
        LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_STATUSMONITOR), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    assert(icon.get() && "icon 109");
    NOTIFYICONDATAW record = MakeIconRecord(tray->GetHwnd(), icon.get());
    // The shell may not be ready yet at log-on; wait for it.
    while (!Shell_NotifyIconW(NIM_ADD, &record))
        Sleep(kIconRetryMs);

    if (requested.empty())
        tray->ShowAll();
    else
        tray->ShowByName(requested);

    HACCEL hAccel = LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    tray->MessagePump(hAccel);

    Shell_NotifyIconW(NIM_DELETE, &record);
    tray.reset();
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR cmdLine, int)
{
    try {
        return Run(hInstance, cmdLine);
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
