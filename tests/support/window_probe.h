#pragma once
#include "pump.h"
#include "win.h"
#include <functional>
#include <string>
#include <vector>

namespace qsmtest {

// Waits until conditions on other threads' or processes' windows hold, each bounded
// by its time-out.

// True once done() holds, false when it still does not after timeoutMs.
inline bool PollUntil(DWORD timeoutMs, const std::function<bool()>& done)
{
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done(); Sleep(20))
        if (GetTickCount64() >= end)
            return false;
    return true;
}
// find's window once it has one, or null after timeoutMs.
inline HWND PollWindow(DWORD timeoutMs, const std::function<HWND()>& find)
{
    HWND h = nullptr;
    PollUntil(timeoutMs, [&] { return (h = find()) != nullptr; });
    return h;
}
inline bool WaitForNoWindow(HWND hWnd, DWORD timeoutMs)
{
    return PollUntil(timeoutMs, [hWnd] { return !IsWindow(hWnd); });
}

inline std::wstring WindowText(HWND hWnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return L"";
    std::vector<wchar_t> buffer(length + 1);
    SendMessageTimeoutW(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 2000,
                        &length);
    return buffer.data();
}
inline std::wstring ClassName(HWND hWnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hWnd, name, 64);
    return name;
}

// A top-level window with exactly this title (hidden ones included), or null.
inline HWND WaitForTopWindow(const std::wstring& title, DWORD timeoutMs)
{
    return PollWindow(timeoutMs, [&] { return FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); });
}
// A visible message box ("#32770") whose caption passes match, or null after timeoutMs.
inline HWND WaitForBox(DWORD timeoutMs, const std::function<bool(const std::wstring&)>& match)
{
    using Search = std::pair<const std::function<bool(const std::wstring&)>*, HWND>;
    Search search{&match, nullptr};
    return PollWindow(timeoutMs, [&] {
        EnumWindows([](HWND hWnd, LPARAM lParam) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lParam);
            if (ClassName(hWnd) == L"#32770" && IsWindowVisible(hWnd) && (*s.first)(WindowText(hWnd)))
                s.second = hWnd;
            return !s.second;
        }, reinterpret_cast<LPARAM>(&search));
        return search.second;
    });
}
inline HWND WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs)
{
    return WaitForBox(timeoutMs, [&](const std::wstring& text) { return text == caption; });
}
inline HWND WaitForMessageBoxPrefix(const std::wstring& prefix, DWORD timeoutMs)
{
    return WaitForBox(timeoutMs, [&](const std::wstring& text) { return text.compare(0, prefix.size(), prefix) == 0; });
}

inline int ListBoxCount(HWND hList)
{
    return static_cast<int>(SendMessageW(hList, LB_GETCOUNT, 0, 0));
}
inline std::wstring ListBoxLine(HWND hList, int index)
{
    const LRESULT length = SendMessageW(hList, LB_GETTEXTLEN, index, 0);
    std::vector<wchar_t> buffer(length == LB_ERR ? 1 : static_cast<size_t>(length) + 1);
    if (length != LB_ERR)
        SendMessageW(hList, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

// What a message box shows, read before it is closed.
struct MessageBoxView {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    bool warningIcon = false; // the exclamation icon
    bool errorIcon = false;   // the hand icon
    bool topmost = false;     // system modal
    std::vector<int> buttons; // ids of the visible buttons
};
inline MessageBoxView ReadMessageBox(HWND hBox)
{
    MessageBoxView view;
    view.caption = WindowText(hBox);
    view.text = WindowText(GetDlgItem(hBox, 0xFFFF));
    view.owner = GetWindow(hBox, GW_OWNER);
    view.topmost = (GetWindowLongW(hBox, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // The icon control's id differs (20 on Windows, 1088 under Wine); its style does not.
    for (HWND child = GetWindow(hBox, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && lstrcmpiW(ClassName(child).c_str(), L"Static") == 0) {
            const auto shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            view.warningIcon = shown && shown == LoadIconW(nullptr, IDI_WARNING);
            view.errorIcon = shown && shown == LoadIconW(nullptr, IDI_ERROR);
        } else if (lstrcmpiW(ClassName(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) {
            view.buttons.push_back(GetDlgCtrlID(child));
        }
    }
    return view;
}
// Presses the box's OK button and waits until the box is gone.
inline bool CloseMessageBox(HWND hBox, DWORD timeoutMs = 5000)
{
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    return WaitForNoWindow(hBox, timeoutMs);
}

} // namespace qsmtest
