#pragma once
#include "pump.h"
#include "win.h"
#include <functional>
#include <string>
#include <vector>

namespace qsmtest {

// Waits until pred-free conditions on other threads' or processes' windows hold.
// All functions are bounded by their time-outs.

// A top-level window with exactly this title (hidden ones included), or null.
HWND WaitForTopWindow(const std::wstring& title, DWORD timeoutMs);
// A message box ("#32770") whose caption equals caption, or null.
HWND WaitForMessageBox(const std::wstring& caption, DWORD timeoutMs);
// Same, for any caption that begins with prefix.
HWND WaitForMessageBoxPrefix(const std::wstring& prefix, DWORD timeoutMs);

std::wstring WindowText(HWND hWnd);
std::wstring ListBoxLine(HWND hList, int index);
int ListBoxCount(HWND hList);

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
MessageBoxView ReadMessageBox(HWND hBox);
// Presses the box's OK button and waits until the box is gone.
bool CloseMessageBox(HWND hBox, DWORD timeoutMs = 5000);

} // namespace qsmtest
