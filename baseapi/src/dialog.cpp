#include "dialog.h"
#include "debug.h"
#include "item.h"
#include "utils.h"
#include <algorithm>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\dialog";

// Function-local statics: dialogs may be constructed by other static objects,
// so the list must exist on first use, whatever the order of initialisation.
std::vector<mrvDialog*>& DialogList()
{
    static std::vector<mrvDialog*> s_Dialogs;
    return s_Dialogs;
}

mrvCriticalSection& DialogListLock()
{
    static mrvCriticalSection s_Lock("mrvDialogVector");
    return s_Lock;
}

} // namespace

mrvDialog::mrvDialog(const std::string& name, mrvDialog* pParent) : m_hWnd(nullptr), m_Name(name), m_pParent(pParent)
{
    mrvLock lock(&DialogListLock());
    DialogList().push_back(this);
    DebugOut(("Add dialog <" + m_Name + "> to global list.\n").c_str());
}

mrvDialog::~mrvDialog()
{
    mrvLock lock(&DialogListLock());
    std::vector<mrvDialog*>& dialogs = DialogList();
    auto it = std::find(dialogs.begin(), dialogs.end(), this);
    if (it != dialogs.end())
        dialogs.erase(it);
    Destroy();
}

INT_PTR mrvDialog::DlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

void mrvDialog::OnCreate()
{
}

void mrvDialog::OnDestroy()
{
}

void mrvDialog::Update()
{
    if (m_hWnd)
        UpdateWindow(m_hWnd);
}

INT_PTR CALLBACK mrvDialog::StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Held while DlgProc runs; the section is re-entrant, so messages sent from
    // inside a DlgProc on this thread come through here again.
    mrvLock lock(&DialogListLock());
    const std::vector<mrvDialog*>& dialogs = DialogList();
    if (dialogs.empty())
        return FALSE;
    // While CreateDialogParamW runs, Create has not stored the handle yet: those
    // messages go to the earliest registered dialog.
    mrvDialog* pTarget = dialogs.front();
    for (mrvDialog* pDialog : dialogs) {
        if (pDialog->m_hWnd == hWnd) {
            pTarget = pDialog;
            break;
        }
    }
    return pTarget->DlgProc(hWnd, uMsg, wParam, lParam) ? TRUE : FALSE;
}

void mrvDialog::Create(HINSTANCE hInstance, UINT templateId, int x, int y)
{
    HWND hOwner = m_pParent ? m_pParent->m_hWnd : nullptr;
    m_hWnd = CreateDialogParamW(hInstance, MAKEINTRESOURCEW(templateId), hOwner, &mrvDialog::StaticDlgProc, 0);
    if (!m_hWnd) {
        const DWORD error = GetLastError();
        ThrowSystemError("Can't create dialog box <" + m_Name + ">.", error, "mrvAPI::mrvDialog::Create", kFile,
                         __LINE__);
    }
    if (x != -1)
        SetPosition(x, y);
    OnCreate();
}

void mrvDialog::Destroy()
{
    OnDestroy();
    for (mrvItem* pItem : m_Items)
        delete pItem;
    m_Items.clear();
    if (m_hWnd) {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

void mrvDialog::Show()
{
    if (!m_hWnd)
        return;
    ShowWindow(m_hWnd, SW_SHOWNORMAL);
    UpdateWindow(m_hWnd);
}

void mrvDialog::Hide()
{
    if (m_hWnd)
        ShowWindow(m_hWnd, SW_HIDE);
}

void mrvDialog::SetForeground()
{
    if (m_hWnd)
        SetForegroundWindow(m_hWnd);
}

void mrvDialog::SetPosition(int x, int y)
{
    // Insert-after null is HWND_TOP: a page moved into place comes above the
    // tab control it covers, as property sheets place their pages.
    SetWindowPos(m_hWnd, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
}

mrvItem* mrvDialog::GetItem(UINT id) const
{
    for (mrvItem* pItem : m_Items) {
        if (pItem->GetId() == id)
            return pItem;
    }
    return nullptr;
}

void mrvDialog::MessagePump(HACCEL hAccel)
{
    for (;;) {
        MSG msg;
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == 0)
            return;
        if (result == -1) {
            const DWORD error = GetLastError();
            ThrowSystemError("GetMessage() failed.", error, "mrvAPI::mrvDialog::MessagePump", kFile, __LINE__);
        }
        // Tab, Shift+Tab and the arrow keys move between the controls of the
        // window in front, as in any dialog.
        const HWND hActive = GetActiveWindow();
        if (!TranslateAcceleratorW(m_hWnd, hAccel, &msg) && !(hActive && IsDialogMessageW(hActive, &msg))) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // Hands the rest of the time slice to the worker threads.
        Sleep(0);
    }
}

} // namespace mrvAPI
