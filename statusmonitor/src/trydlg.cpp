#include "trydlg.h"
#include "debug.h"
#include "exception.h"
#include "item.h"
#include "language.h"
#include "maindlg.h"
#include "printer.h"
#include "resource.h"
#include "settings.h"
#include <algorithm>
#include <utility>

using namespace mrvAPI;

namespace {

constexpr UINT_PTR kReapTimer = 1;
constexpr UINT kReapIntervalMs = 100;

HINSTANCE ModuleInstance()
{
    return GetModuleHandleW(nullptr);
}

// All workers end side by side: waiting on each in turn would add up.
void RequestStops(const std::vector<mrvMainDialog*>& dialogs)
{
    for (mrvMainDialog* pDialog : dialogs)
        pDialog->RequestStop();
}

void DestroyAndDelete(mrvMainDialog* pDialog)
{
    pDialog->Destroy();
    delete pDialog;
}

} // namespace

mrvTryDialog::mrvTryDialog()
    : mrvDialog("tryDialog", nullptr), m_Updating(false), m_UpdateAgain(false), m_Closing(false),
      m_TaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
    try {
        const UINT count = mrvPrinter::GetCount();
        for (UINT i = 0; i < count; ++i) {
            std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
            if (printer && IsMonitored(*printer))
                AddDialog(*printer);
        }
    } catch (...) {
        // No destructor runs for a half-built object: stop the workers started so far.
        DeleteAllDialogs();
        throw;
    }
}

mrvTryDialog::~mrvTryDialog()
{
    m_pPopupMenu.reset();
    DeleteAllDialogs();
}

void mrvTryDialog::DeleteAllDialogs()
{
    // Each delete waits for a worker and handles the messages sent meanwhile: the
    // lists are out of reach of those handlers before the first delete.
    m_Closing = true;
    std::vector<mrvMainDialog*> all;
    all.swap(m_Dialogs);
    all.insert(all.end(), m_Retired.begin(), m_Retired.end());
    m_Retired.clear();
    RequestStops(all);
    for (mrvMainDialog* pDialog : all)
        DestroyAndDelete(pDialog);
}

bool mrvTryDialog::IsMonitored(const mrvPrinter& printer)
{
    return printer.GetPort().compare(0, 3, L"COM") != 0;
}

UINT mrvTryDialog::CountMonitoredPrinters()
{
    UINT monitored = 0;
    const UINT count = mrvPrinter::GetCount();
    for (UINT i = 0; i < count; ++i) {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (printer && IsMonitored(*printer))
            ++monitored;
    }
    return monitored;
}

void mrvTryDialog::ShowAll()
{
    for (mrvMainDialog* pDialog : m_Dialogs)
        pDialog->Show();
}

void mrvTryDialog::ShowByName(const std::wstring& name)
{
    for (mrvMainDialog* pDialog : m_Dialogs)
        if (pDialog->GetPrinter().GetName() == name)
            pDialog->Show();
}

void mrvTryDialog::AddDialog(const mrvPrinter& printer)
{
    std::unique_ptr<mrvMainDialog> pDialog(new mrvMainDialog(printer));
    pDialog->Create(ModuleInstance(), IDD_MAIN_DIALOG, -1, 0);
    pDialog->Hide();
    m_Dialogs.push_back(pDialog.release());
}

void mrvTryDialog::SetShellHandlers(std::function<void()> onShellRestart, std::function<void()> onSessionEnd)
{
    m_OnShellRestart = std::move(onShellRestart);
    m_OnSessionEnd = std::move(onSessionEnd);
}

void mrvTryDialog::EndSession()
{
    // The process may be ended as soon as the message returns: stop everything here,
    // as Exit would after the pump. A dialog with a box open below goes once that
    // returns, and its worker writes no log file that is not whole.
    if (m_Closing)
        return;
    m_Closing = true;
    if (m_OnSessionEnd)
        m_OnSessionEnd();
    std::vector<mrvMainDialog*> all;
    all.swap(m_Dialogs);
    // Also the workers of dialogs that can only go later: none may go on polling.
    RequestStops(all);
    RequestStops(m_Retired);
    for (mrvMainDialog* pDialog : all)
        RemoveDialog(pDialog);
    PostQuitMessage(0);
}

INT_PTR mrvTryDialog::DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == m_TaskbarCreated && m_TaskbarCreated) {
        // The icon may already be gone with its owner.
        if (m_OnShellRestart && !m_Closing)
            m_OnShellRestart();
        return 1;
    }
    switch (uMsg) {
    case WM_QUERYENDSESSION:
        SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, TRUE);
        return 1;
    case WM_ENDSESSION:
        if (wParam)
            EndSession();
        return 1;
    case WM_CLOSE:
        DebugOut("mrvTryDialog::DlgProc WM_CLOSE");
        Hide();
        return 0;
    case WM_SETTINGCHANGE:
        DebugOut("WM_SETTINGCHANGE Printer name changed");
        updateDialogList();
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCmdExit) {
            PostQuitMessage(0);
        } else if (wParam > kCmdExit && wParam <= kCmdExit + m_Dialogs.size()) {
            mrvMainDialog* pDialog = m_Dialogs[wParam - kCmdFirstPrinter];
            pDialog->Show();
            pDialog->SetForeground();
        }
        return 1;
    case kIconCallback:
        if (m_Closing)
            return 1;
        if (lParam == WM_LBUTTONDOWN || lParam == WM_RBUTTONDOWN)
            ShowTrayMenu();
        else if (lParam == WM_LBUTTONDBLCLK)
            PostMessageW(m_hWnd, WM_COMMAND, kCmdFirstPrinter, 0);
        return 1;
    case WM_TIMER:
        if (wParam == kReapTimer) {
            ReapRetired();
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

void mrvTryDialog::ShowTrayMenu()
{
    m_pPopupMenu.reset();
    m_pPopupMenu = std::make_unique<mrvPopupMenu>(this, 0);
    addMenuEntries(m_pPopupMenu.get());
    m_pPopupMenu->AppendSeparator();
    m_pPopupMenu->AppendItem(4, kCmdExit);
    m_pPopupMenu->TrackMenu(m_hWnd);
}

void mrvTryDialog::addMenuEntries(mrvPopupMenu* pMenu)
{
    DebugOut("addMenuEntries 1");
    for (size_t i = 0; i < m_Dialogs.size(); ++i) {
        mrvDebugLine() << "addMenuEntries 2 " << i;
        // A menu takes "&" for the mark of an access key; the name shows as it is.
        std::wstring text;
        for (wchar_t c : m_Dialogs[i]->GetPrinter().GetName()) {
            text += c;
            if (c == L'&')
                text += c;
        }
        pMenu->AppendItem(text.c_str(), static_cast<UINT>(kCmdFirstPrinter + i));
    }
}

void mrvTryDialog::RemoveDialog(mrvMainDialog* pDialog)
{
    if (pDialog->IsInDlgProc()) {
        // Its error box (or another nested loop) is still open below us: deleting
        // it now would pull the object from under its own window procedure.
        pDialog->Hide();
        m_Retired.push_back(pDialog);
        if (m_hWnd)
            SetTimer(m_hWnd, kReapTimer, kReapIntervalMs, nullptr);
        return;
    }
    DestroyAndDelete(pDialog);
}

void mrvTryDialog::ReapRetired()
{
    auto busy = std::stable_partition(m_Retired.begin(), m_Retired.end(),
                                      [](mrvMainDialog* p) { return p->IsInDlgProc(); });
    std::vector<mrvMainDialog*> done(busy, m_Retired.end());
    m_Retired.erase(busy, m_Retired.end());
    for (mrvMainDialog* pDialog : done)
        DestroyAndDelete(pDialog);
    if (m_Retired.empty() && m_hWnd)
        KillTimer(m_hWnd, kReapTimer);
}

void mrvTryDialog::updateDialogList()
{
    if (m_Closing) {
        DebugOut("updateDialogList: closing, not rebuilt");
        return;
    }
    // A settings change can be delivered while a rebuild is creating windows;
    // run the rebuild once more afterwards instead of nesting it.
    if (m_Updating) {
        m_UpdateAgain = true;
        return;
    }
    m_Updating = true;
    try {
        do {
            m_UpdateAgain = false;
            RebuildDialogList();
        } while (m_UpdateAgain && !m_Closing);
    } catch (...) {
        m_Updating = false;
        throw;
    }
    m_Updating = false;
}

void mrvTryDialog::RebuildDialogList()
{
    const std::wstring filter = mrvSettings::ReadPrinterFilter("updateDialogList exeption");
    // A spooler that cannot give its list says nothing about the printers: the
    // windows that are there stay.
    if (!mrvPrinter::Enumerate(filter.c_str())) {
        DebugOut("updateDialogList: no printer list");
        return;
    }
    const UINT count = mrvPrinter::GetCount();

    if (count == 0) {
        std::vector<mrvMainDialog*> all;
        all.swap(m_Dialogs);
        RequestStops(all);
        for (mrvMainDialog* pDialog : all) {
            RemoveDialog(pDialog);
            DebugOut("updateDialogList Delete all dialogs");
        }
        return;
    }

    std::vector<mrvMainDialog*> kept;
    std::vector<mrvMainDialog*> gone;
    for (mrvMainDialog* pDialog : m_Dialogs) {
        std::unique_ptr<mrvPrinter> listed(mrvPrinter::Find(pDialog->GetPrinter().GetName().c_str()));
        if (listed && listed->GetPort() == pDialog->GetPrinter().GetPort())
            kept.push_back(pDialog);
        else
            gone.push_back(pDialog);
    }
    m_Dialogs.swap(kept);
    RequestStops(gone);
    for (mrvMainDialog* pDialog : gone) {
        pDialog->Hide();
        RemoveDialog(pDialog);
    }

    // The removals above wait for workers and handle what is sent meanwhile: the
    // session may have ended in between.
    for (UINT i = 0; i < count && !m_Closing; ++i) {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (!printer || !IsMonitored(*printer))
            continue;
        const bool hasDialog = std::any_of(m_Dialogs.begin(), m_Dialogs.end(), [&](mrvMainDialog* p) {
            return p->GetPrinter().GetName() == printer->GetName();
        });
        if (hasDialog)
            continue;
        try {
            AddDialog(*printer);
        } catch (const mrvException& e) {
            // Inside a window message there is nobody to hand the report to.
            mrvDebugLine() << "updateDialogList: " << e.GetReport(" ");
        }
    }
}
