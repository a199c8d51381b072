#pragma once
#include "pump.h"
#include "win.h"
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qsmtest {

// Waits until conditions on other threads' or processes' windows hold, each bounded
// by its time-out.

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
// A visible message box ("#32770") whose caption is prefix followed by nothing
// (whole) or anything, or null after timeoutMs.
inline HWND WaitForMessageBoxPrefix(const std::wstring& prefix, DWORD timeoutMs, bool whole = false)
{
    return PollWindow(timeoutMs, [&] {
        HWND h = nullptr;
        while ((h = FindWindowExW(nullptr, h, L"#32770", nullptr)) != nullptr) {
            const std::wstring caption = WindowText(h);
            if (IsWindowVisible(h) && caption.compare(0, whole ? caption.npos : prefix.size(), prefix) == 0)
                break;
        }
        return h;
    });
}
inline HWND WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs)
{
    return WaitForMessageBoxPrefix(caption, timeoutMs, true);
}

// Every line of a list box.
inline std::vector<std::wstring> ListLines(HWND hList)
{
    std::vector<std::wstring> lines(static_cast<size_t>(std::max<LRESULT>(SendMessageW(hList, LB_GETCOUNT, 0, 0), 0)));
    for (size_t i = 0; i < lines.size(); ++i) {
        lines[i].resize(static_cast<size_t>(SendMessageW(hList, LB_GETTEXTLEN, i, 0)) + 1);
        lines[i].resize(static_cast<size_t>(SendMessageW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&lines[i][0]))));
    }
    return lines;
}

// What a message box shows, read before it is closed.
struct MessageBoxView {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};
inline MessageBoxView ReadMessageBox(HWND hBox)
{
    return {WindowText(hBox), WindowText(GetDlgItem(hBox, 0xFFFF)), GetWindow(hBox, GW_OWNER)};
}
// Presses the box's OK button and waits until the box is gone.
inline bool CloseMessageBox(HWND hBox, DWORD timeoutMs = 5000)
{
    PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    return WaitForNoWindow(hBox, timeoutMs);
}

} // namespace qsmtest
