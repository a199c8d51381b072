#include "item.h"
#include "debug.h"
#include "dialog.h"
#include "exception.h"
#include "language.h"
#include "utils.h"
#include <cassert>
#include <commctrl.h>

namespace mrvAPI {

namespace {
const char* const kFile = "baseapi\\src\\item";
}

mrvItem::mrvItem(mrvDialog* pDialog, UINT id)
    : m_Id(id), m_hWnd(pDialog ? GetDlgItem(pDialog->GetHwnd(), static_cast<int>(id)) : nullptr), m_pDialog(pDialog)
{
}

LRESULT mrvItem::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    assert(m_pDialog);
    if (!m_pDialog)
        return 0;
    HWND hDlg = GetDlgItem(m_pDialog->GetHwnd(), static_cast<int>(m_Id));
    assert(hDlg);
    if (!hDlg)
        return 0;
    return ::SendMessageW(hDlg, uMsg, wParam, lParam);
}

void mrvListBox::AddText(UINT textId, bool select)
{
    m_TextIds.push_back(textId);
    m_Literals.emplace_back();
    AddLine(mrvLanguages::GetText(textId), select);
}

void mrvListBox::AddText(const wchar_t* text, bool select)
{
    if (!text)
        ThrowNullPointer("text", "mrvAPI::mrvListBox::AddText", kFile, __LINE__);
    m_TextIds.push_back(0);
    m_Literals.emplace_back(text);
    AddLine(text, select);
}

void mrvListBox::AddLine(const std::wstring& text, bool select)
{
    SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (select)
        SelectLast();
}

void mrvListBox::SelectLast()
{
    // After Clear the recorded lines outnumber the shown ones; the index then lies
    // beyond the last line and the list shows no selection.
    SendMessage(LB_SETCURSEL, m_TextIds.size() - 1, 0);
    // A list without selection does not scroll to a selected line by itself:
    // bring the newest line into view.
    const LRESULT count = SendMessage(LB_GETCOUNT, 0, 0);
    if (count > 0)
        SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
    // Some list boxes without selection style leave the earlier line painted as
    // selected; repaint the whole list.
    if (m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

void mrvListBox::Clear()
{
    SendMessage(LB_RESETCONTENT, 0, 0);
}

void mrvListBox::Translate()
{
    Clear();
    for (size_t i = 0; i < m_TextIds.size(); ++i) {
        const std::wstring text = m_Literals[i] ? *m_Literals[i] : mrvLanguages::GetText(m_TextIds[i]);
        SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SelectLast();
}

mrvProgressBar::mrvProgressBar(mrvDialog* pDialog, UINT id) : mrvItem(pDialog, id)
{
    SendMessage(PBM_SETRANGE32, 0, 100);
}

void mrvProgressBar::SetPos(UINT value)
{
    SendMessage(PBM_SETPOS, value, 0);
}

void mrvEdit::SetText(const wchar_t* text)
{
    assert(m_pDialog);
    if (!m_pDialog)
        return;
    SendDlgItemMessageW(m_pDialog->GetHwnd(), static_cast<int>(m_Id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

mrvPopupMenu::mrvPopupMenu(mrvDialog* pDialog, UINT id) : mrvItem(pDialog, id), m_hMenu(CreatePopupMenu())
{
    if (!m_hMenu.Get()) {
        const DWORD error = GetLastError();
        ThrowSystemError("Can't create popup menu.", error, "mrvAPI::mrvPopupMenu::mrvPopupMenu", kFile, __LINE__);
    }
}

void mrvPopupMenu::AppendItem(UINT textId, UINT commandId)
{
    AppendMenuW(m_hMenu.Get(), MF_STRING, commandId, mrvLanguages::GetText(textId).c_str());
}

void mrvPopupMenu::AppendItem(const wchar_t* text, UINT commandId)
{
    AppendMenuW(m_hMenu.Get(), MF_STRING, commandId, text);
}

void mrvPopupMenu::AppendSeparator()
{
    AppendMenuW(m_hMenu.Get(), MF_SEPARATOR, 0, nullptr);
}

void mrvPopupMenu::TrackMenu(HWND hOwner)
{
    DebugOut("TrackMenu\n");
    POINT pt = {};
    GetCursorPos(&pt);
    SetForegroundWindow(hOwner);
    TrackPopupMenu(m_hMenu.Get(), TPM_RIGHTALIGN | TPM_BOTTOMALIGN, pt.x, pt.y, 0, hOwner, nullptr);
    // A menu opened from the notification area closes on the next outside click
    // only after its owner has seen one more message.
    PostMessageW(hOwner, WM_NULL, 0, 0);
}

} // namespace mrvAPI
