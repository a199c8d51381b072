#include "screenshot_host.h"
#include "exception.h"
#include <shellapi.h>
#include <cstdio>

namespace qsmtest {

bool HoldForScreenshot(HWND hWnd, const std::wstring& readyFile, const std::wstring& doneFile)
{
    RECT rect = {};
    GetWindowRect(hWnd, &rect);
    FILE* ready = _wfopen(readyFile.c_str(), L"w");
    if (!ready)
        return false;
    std::fprintf(ready, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(ready);
    const ULONGLONG end = GetTickCount64() + 60000;
    while (GetFileAttributesW(doneFile.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < end)
        PumpFor(100);
    return true;
}

int ScreenshotMain(const char* usage, ScreenshotRun run)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 5) {
        std::fprintf(stderr, "%s\n", usage);
        return 1;
    }
    int result = 4;
    try {
        result = run(argv[1], argv[2], argv[3], argv[4]);
    } catch (const mrvAPI::mrvException& e) {
        std::fprintf(stderr, "%s", e.GetReport("\n").c_str());
    }
    LocalFree(argv);
    return result;
}

} // namespace qsmtest
