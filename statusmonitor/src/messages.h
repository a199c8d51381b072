#pragma once
#include "win.h"
#include <memory>
#include <string>

// Private messages from an update worker to its main dialog.
constexpr UINT mrvWM_LOG_DONE = WM_USER + 1;     // a log request has been handled
constexpr UINT mrvWM_STATUS = WM_USER + 1000;    // wParam: status code (a text number)
constexpr UINT mrvWM_INK_LEVEL = WM_USER + 1001; // wParam: 0..255
constexpr UINT mrvWM_UV_LAMP = WM_USER + 1002;   // wParam: 0..255
constexpr UINT mrvWM_NUMBER = WM_USER + 1003;    // wParam: 16-bit number
constexpr UINT mrvWM_MAT_CODE = WM_USER + 1004;  // lParam: text (see PostText)
constexpr UINT mrvWM_PRINTJOB = WM_USER + 1005;  // lParam: text (see PostText)
constexpr UINT mrvWM_ERROR = WM_USER + 1006;     // lParam: text (see PostText)

// A text message carries its own heap copy of the text, so the window sees it
// exactly as it stood when posted even if the worker refills its buffer first.
// The receiver adopts it with AdoptPostedText; a copy whose post fails is freed here.
bool PostText(HWND hWnd, UINT message, const char* text);
// Null for anything but a text PostText handed out and nobody adopted yet.
std::unique_ptr<char[]> AdoptPostedText(LPARAM lParam);
// Frees the texts posted to a window that is gone before it could adopt them.
void FreePostedTexts(HWND hWnd);
size_t CountPostedTexts();
