#pragma once
#include "pump.h"
#include "win.h"
#include <string>

namespace qsmtest {

// The handshake of the screenshot helpers with scripts/screenshots.sh: the window
// is painted, its rectangle written into the ready file, and it stays up until the
// done file appears (or 60 s pass).
bool HoldForScreenshot(HWND hWnd, const std::wstring& readyFile, const std::wstring& doneFile);

// Runs run(mode, ready, done, language folder) from the command line, printing usage
// or an exception's report on failure.
using ScreenshotRun = int (*)(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&);
int ScreenshotMain(const char* usage, ScreenshotRun run);

} // namespace qsmtest
