#include "window_probe.h"
#include <vector>

namespace qsmtest {

namespace {

template <class Pred>
HWND Poll(DWORD timeoutMs, Pred pred)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND h = pred())
            return h;
        if (GetTickCount64() >= end)
            return nullptr;
        Sleep(20);
    }
}

struct BoxSearch {
    std::wstring caption;
    bool prefix;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    wchar_t cls[64] = {};
    GetClassNameW(hWnd, cls, 64);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hWnd))
        return TRUE;
    const std::wstring caption = WindowText(hWnd);
    const bool match = search->prefix ? caption.compare(0, search->caption.size(), search->caption) == 0
                                      : caption == search->caption;
    if (match) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindMessageBox(const std::wstring& caption, bool prefix)
{
    BoxSearch search{caption, prefix, nullptr};
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND WaitForTopWindow(const std::wstring& title, DWORD timeoutMs)
{
    return Poll(timeoutMs, [&] { return FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); });
}

HWND WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs)
{
    return Poll(timeoutMs, [&] { return FindMessageBox(caption, false); });
}

HWND WaitForMessageBoxPrefix(const std::wstring& prefix, DWORD timeoutMs)
{
    return Poll(timeoutMs, [&] { return FindMessageBox(prefix, true); });
}

std::wstring WindowText(HWND hWnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return L"";
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                        2000, &copied);
    return std::wstring(buffer.data());
}

int ListBoxCount(HWND hList)
{
    return static_cast<int>(SendMessageW(hList, LB_GETCOUNT, 0, 0));
}

std::wstring ListBoxLine(HWND hList, int index)
{
    const LRESULT length = SendMessageW(hList, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR)
        return L"";
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    SendMessageW(hList, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

MessageBoxView ReadMessageBox(HWND hBox)
{
    MessageBoxView view;
    view.caption = WindowText(hBox);
    view.text = WindowText(GetDlgItem(hBox, 0xFFFF));
    view.owner = GetWindow(hBox, GW_OWNER);
    view.topmost = (GetWindowLongW(hBox, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // The icon control's id differs (20 on Windows, 1088 under Wine); its style does not.
    for (HWND child = GetWindow(hBox, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && lstrcmpiW(cls, L"Static") == 0) {
            HICON shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            view.warningIcon = shown && shown == LoadIconW(nullptr, IDI_WARNING);
            view.errorIcon = shown && shown == LoadIconW(nullptr, IDI_ERROR);
        } else if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
            view.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    return view;
}

bool CloseMessageBox(HWND hBox, DWORD timeoutMs)
{
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(hBox)) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(10);
    }
    return true;
}

} // namespace qsmtest
