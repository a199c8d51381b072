#include "maindlg.h"
#include "debug.h"
#include "errorrecord.h"
#include "info.h"
#include "item.h"
#include "language.h"
#include "lock.h"
#include "messages.h"
#include "monitor.h"
#include "resource.h"
#include "settings.h"
#include "tabcontrol.h"
#include "update.h"
#include "utils.h"
#include <commdlg.h>
#include <commctrl.h>

using namespace mrvAPI;

namespace {

mrvCriticalSection& MainDialogVectorLock()
{
    static mrvCriticalSection section("MainDialogVectorLock");
    return section;
}

HINSTANCE ModuleInstance()
{
    return GetModuleHandleW(nullptr);
}

// The log box lies on top of a page as its sibling. Without this a page that
// repaints during a save (uncovered, a new status line) paints over the box.
void ClipSiblings(HWND hPage)
{
    SetWindowLongPtrW(hPage, GWL_STYLE, GetWindowLongPtrW(hPage, GWL_STYLE) | WS_CLIPSIBLINGS);
}

} // namespace

mrvMainDialog::mrvMainDialog(const mrvPrinter& printer)
    : mrvDialog("MainDlg", nullptr), m_Printer(printer), m_pTab(nullptr), m_Busy(false), m_SaveRunning(false),
      m_hWaitCursor(nullptr), m_hArrowCursor(nullptr), m_UpdateTime(1000), m_DlgProcDepth(0), m_hPostTarget(nullptr),
      m_ErrorBoxOpen(false), m_ErrorPending(false)
{
    mrvLock lock(&MainDialogVectorLock());
    m_hWaitCursor = LoadCursorW(nullptr, IDC_WAIT);
    m_hArrowCursor = LoadCursorW(nullptr, IDC_ARROW);
    m_UpdateTime = mrvSettings::ReadUpdateTime();
    m_pUpdate = std::make_unique<mrvUpdate>(this, &m_Printer, m_UpdateTime);
}

mrvMainDialog::~mrvMainDialog()
{
    DebugOut("m_pUpdate->Stop()");
    m_pUpdate->Stop(1000);
    m_pUpdate.reset();
    // Texts the worker posted while the window was being destroyed.
    if (m_hPostTarget)
        FreePostedTexts(m_hPostTarget);
    m_pLogBox.reset();
}

void mrvMainDialog::RequestStop()
{
    m_pUpdate->RequestStop();
}

std::wstring mrvMainDialog::MakeTitle(const std::wstring& printerName, const std::wstring& portName)
{
    return mrvLanguages::GetText(6) + L" (" + printerName + L", " + portName + L")";
}

void mrvMainDialog::OnCreate()
{
    m_pTab = new mrvTabControl(this, IDC_TAB);
    AddItem(m_pTab);
    const int x = m_pTab->GetPageLeft();
    const int y = m_pTab->GetPageTop() + 2;

    m_pMonitor = std::make_unique<mrvMonitor>(this, m_Printer);
    m_pMonitor->Create(ModuleInstance(), IDD_MONITOR, x, y);
    m_pMonitor->Hide();
    ClipSiblings(m_pMonitor->GetHwnd());
    m_pTab->AddTab(11, m_pMonitor.get());

    m_pInfo = std::make_unique<mrvInfo>(this, m_Printer);
    m_pInfo->Create(ModuleInstance(), IDD_INFO, x, y);
    m_pInfo->Hide();
    ClipSiblings(m_pInfo->GetHwnd());
    m_pTab->AddTab(12, m_pInfo.get());

    m_pTab->ShowSelectedPage();
    Translate();

    DebugOut("m_pUpdate->Start()");
    m_pUpdate->Start(THREAD_PRIORITY_NORMAL);
}

void mrvMainDialog::OnDestroy()
{
    // Texts posted but not yet handled are owned by this window; free them.
    MSG msg;
    while (m_hWnd && PeekMessageW(&msg, m_hWnd, mrvWM_MAT_CODE, mrvWM_ERROR, PM_REMOVE))
        AdoptPostedText(msg.lParam);
    if (m_hWnd)
        m_hPostTarget = m_hWnd;
    m_pInfo.reset();
    m_pMonitor.reset();
    m_pTab = nullptr;
}

void mrvMainDialog::Translate()
{
    if (m_hWnd)
        SetWindowTextW(m_hWnd, MakeTitle(m_Printer.GetName(), m_Printer.GetPort()).c_str());
    if (m_pTab)
        m_pTab->Translate();
    if (m_pMonitor)
        m_pMonitor->Translate();
    if (m_pInfo)
        m_pInfo->Translate();
}

INT_PTR mrvMainDialog::DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    ++m_DlgProcDepth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{m_DlgProcDepth};
    return HandleMessage(hWnd, uMsg, wParam, lParam);
}

INT_PTR mrvMainDialog::HandleMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case mrvWM_STATUS:
    case mrvWM_INK_LEVEL:
    case mrvWM_UV_LAMP:
    case mrvWM_NUMBER:
        OnWorkerValue(uMsg, wParam);
        return 1;
    case mrvWM_MAT_CODE:
    case mrvWM_PRINTJOB:
        OnWorkerText(uMsg, lParam);
        return 1;
    case mrvWM_ERROR:
        OnError(lParam);
        return 1;
    case mrvWM_LOG_DONE:
        OnLogDone();
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SAVE_LOG)
            OnSaveLog();
        return 1;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->code == static_cast<UINT>(TCN_SELCHANGE)) {
            if (auto* tab = dynamic_cast<mrvTabControl*>(GetItem(static_cast<UINT>(header->idFrom))))
                tab->ShowSelectedPage();
        }
        return 1;
    }
    case WM_CLOSE:
        Hide();
        return 0;
    case WM_SHOWWINDOW:
        // The pages' own WM_SHOWWINDOW arrives here too; only this window's counts.
        if (hWnd == m_hWnd)
            m_pUpdate->SetActive(wParam != 0);
        return 1;
    case WM_SETCURSOR:
        SetCursor(m_Busy ? m_hWaitCursor : m_hArrowCursor);
        return 1;
    default:
        return 0;
    }
}

void mrvMainDialog::OnWorkerValue(UINT uMsg, WPARAM wParam)
{
    if (!m_pMonitor)
        return;
    switch (uMsg) {
    case mrvWM_STATUS: m_pMonitor->AddStatus(static_cast<UINT>(wParam)); break;
    case mrvWM_INK_LEVEL: m_pMonitor->SetInkLevel(static_cast<UINT>(wParam)); break;
    case mrvWM_UV_LAMP: m_pMonitor->SetUvLamp(static_cast<UINT>(wParam)); break;
    case mrvWM_NUMBER: m_pMonitor->AddNumber(static_cast<WORD>(wParam)); break;
    default: break;
    }
}

void mrvMainDialog::OnWorkerText(UINT uMsg, LPARAM lParam)
{
    std::unique_ptr<char[]> owned = AdoptPostedText(lParam);
    if (!m_pMonitor || !owned)
        return;
    const std::string text(owned.get());
    if (uMsg == mrvWM_MAT_CODE)
        m_pMonitor->SetMaterialCode(text);
    else
        m_pMonitor->SetPrintJob(text);
}

void mrvMainDialog::OnError(LPARAM lParam)
{
    DebugOut("mrvMainDialog::DlgProc mrvWM_ERROR");
    std::unique_ptr<char[]> owned = AdoptPostedText(lParam);
    ErrorRecord record;
    if (!owned || !DecodeErrorRecord(owned.get(), record))
        return;
    const std::wstring text(record.text.begin(), record.text.end());
    DebugOutW(text);
    std::wstring code = mrvUtils::M2W(record.code);
    // A box opened from inside the loop of the one before would pile up without
    // end under an error that changes on every poll: keep the newest for later.
    if (m_ErrorBoxOpen) {
        m_PendingCode = code;
        m_PendingText = text;
        m_ErrorPending = true;
        return;
    }
    struct Closed {
        mrvMainDialog& dialog;
        ~Closed()
        {
            dialog.m_ErrorBoxOpen = false;
            dialog.m_ErrorPending = false;
        }
    } closed{*this};
    m_ErrorBoxOpen = true;
    std::wstring shownCode;
    std::wstring shownText = text;
    for (;;) {
        shownCode = code;
        Show();
        SetForeground();
        // Activation does not raise a covered window on every system; the box's
        // owner must be on top before the box appears.
        BringWindowToTop(m_hWnd);
        mrvLanguages::ShowError(shownCode, shownText, m_hWnd);
        // A window being removed (its worker asked to stop) shows nothing more.
        if (!m_ErrorPending || m_pUpdate->IsStopRequested())
            return;
        m_ErrorPending = false;
        if (m_PendingCode == shownCode && m_PendingText == shownText)
            return;
        code = m_PendingCode;
        shownText = m_PendingText;
    }
}

void mrvMainDialog::OnSaveLog()
{
    // A save already runs: a second dialog or box would only confuse.
    if (m_SaveRunning)
        return;
    const std::wstring description = mrvLanguages::GetText(17);
    std::wstring filter = description;
    filter.push_back(L'\0');
    filter += L"*.log";
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    wchar_t fileName[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = fileName;
    ofn.nMaxFile = MAX_PATH;
    // Owned, so that it stays above its window; the current folder left alone, so
    // that the folder chosen (a USB stick) is not held open afterwards.
    ofn.hwndOwner = m_hWnd;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    ofn.lpstrDefExt = L"log";
    // The file dialog runs its own loop; a second press arriving meanwhile is ignored.
    m_SaveRunning = true;
    if (!GetSaveFileNameW(&ofn)) {
        m_SaveRunning = false;
        return;
    }

    EnableWindow(GetDlgItem(m_hWnd, IDC_TAB), FALSE);
    CreateLogBox();
    m_Busy = true;
    SetCursor(m_hWaitCursor);
    m_pUpdate->SetLogFileName(fileName);
    m_pUpdate->RequestLogDownload();
}

void mrvMainDialog::CreateLogBox()
{
    m_pLogBox = std::make_unique<mrvDialog>("LogBox", this);
    m_pLogBox->Create(ModuleInstance(), IDD_LOG_BOX, 50, 50);
    RECT client = {};
    RECT box = {};
    GetClientRect(m_hWnd, &client);
    GetWindowRect(m_pLogBox->GetHwnd(), &box);
    const int x = ((client.right - client.left) - (box.right - box.left)) >> 1;
    const int y = ((client.bottom - client.top) - (box.bottom - box.top)) >> 1;
    m_pLogBox->SetPosition(x, y);
    SetDlgItemTextW(m_pLogBox->GetHwnd(), IDC_LOG_TEXT, mrvLanguages::GetText(26).c_str());
    m_pLogBox->Show();
}

void mrvMainDialog::OnLogDone()
{
    DebugOut("mrvMainDialog::DlgProc  WM_USER+1");
    m_Busy = false;
    m_SaveRunning = false;
    m_pLogBox.reset();
    EnableWindow(GetDlgItem(m_hWnd, IDC_TAB), TRUE);
    Update();
    // The user may have closed the window while the save ran: poll only if it is shown.
    m_pUpdate->SetActive(IsWindowVisible(m_hWnd) != FALSE);
}
