// Helper of scripts/demo.sh, run in the demo's Wine prefix: installs and removes the
// demo printers and arranges and drives the status monitor's windows from outside.
#include "spooler_setup.h"
#include "win.h"
#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qsmtest::SpoolerResult;

// "VESTRANO " is the maker's prefix: the header bitmap shows "QUILLOR 2".
const wchar_t* const kDriver = L"VESTRANO QUILLOR 2";

struct DemoPrinter {
    const wchar_t* name;
    const wchar_t* port;
};
// The last one sits on a COM port and gets no window.
const DemoPrinter kPrinters[] = {
    {L"Quillor Demo 1", L"FILE:"},
    {L"Quillor Demo 2", L"LPT1:"},
    {L"Quillor Demo COM", L"COM1:"},
};
const size_t kWindowCount = 2;

const int kTabControlId = 1002;

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

bool Check(const SpoolerResult& result)
{
    if (!result.ok)
        std::fprintf(stderr, "qsmdemo: %s failed (error %lu)\n", result.step.c_str(), result.error);
    return result.ok;
}

int Install()
{
    // The driver DLL of the tests: the spooler needs its device-settings export.
    const std::wstring dll = ExeDir() + L"..\\tests\\" + qsmtest::kDriverDllName;
    if (!Check(qsmtest::AddTestDriver(kDriver, dll)))
        return 1;
    for (const DemoPrinter& printer : kPrinters) {
        if (!Check(qsmtest::AddLocalPrinter(printer.name, printer.port, kDriver)))
            return 1;
    }
    return 0;
}

int Remove()
{
    bool ok = true;
    for (const DemoPrinter& printer : kPrinters)
        ok = Check(qsmtest::DeleteLocalPrinter(printer.name)) && ok;
    return Check(qsmtest::DeleteDriver(kDriver)) && ok ? 0 : 1;
}

std::wstring WindowText(HWND hWnd)
{
    wchar_t text[512] = {};
    GetWindowTextW(hWnd, text, 512);
    return text;
}

// The main windows carry "... (<printer>, <port>)" as their title.
BOOL CALLBACK CollectMainWindow(HWND hWnd, LPARAM lParam)
{
    const std::wstring title = WindowText(hWnd);
    for (size_t i = 0; i < kWindowCount; ++i) {
        if (title.find(std::wstring(L"(") + kPrinters[i].name + L", ") != std::wstring::npos)
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    }
    return TRUE;
}

std::vector<HWND> MainWindows()
{
    std::vector<HWND> found;
    EnumWindows(&CollectMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Message boxes that a main window owns.
BOOL CALLBACK CollectBox(HWND hWnd, LPARAM lParam)
{
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hWnd))
        return TRUE;
    HWND owner = GetWindow(hWnd, GW_OWNER);
    for (HWND main : MainWindows()) {
        if (owner == main)
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    }
    return TRUE;
}

std::vector<HWND> ErrorBoxes()
{
    std::vector<HWND> found;
    EnumWindows(&CollectBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

template <class Pred>
bool WaitFor(DWORD seconds, Pred pred)
{
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    while (!pred()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(100);
    }
    return true;
}

int Arrange()
{
    std::vector<HWND> windows;
    const bool all = WaitFor(30, [&] {
        windows = MainWindows();
        size_t visible = 0;
        for (HWND hWnd : windows)
            visible += IsWindowVisible(hWnd) ? 1 : 0;
        return visible == kWindowCount;
    });
    if (!all) {
        std::fprintf(stderr, "qsmdemo: the main windows did not appear\n");
        return 1;
    }
    std::sort(windows.begin(), windows.end(),
              [](HWND a, HWND b) { return WindowText(a) < WindowText(b); });
    // Below the top-left corner, where Wine's own tray window with the icon sits.
    int x = 20;
    for (HWND hWnd : windows) {
        RECT rect = {};
        GetWindowRect(hWnd, &rect);
        SetWindowPos(hWnd, HWND_TOP, x, 40, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        x += rect.right - rect.left + 20;
    }
    return 0;
}

int WaitBox(DWORD seconds)
{
    std::vector<HWND> boxes;
    if (!WaitFor(seconds, [&] { return !(boxes = ErrorBoxes()).empty(); }))
        return 1;
    HWND text = GetDlgItem(boxes.front(), 0xFFFF);
    std::printf("qsmdemo: error box \"%ls\": %ls\n", WindowText(boxes.front()).c_str(), WindowText(text).c_str());
    return 0;
}

int CloseBoxes()
{
    for (HWND hBox : ErrorBoxes())
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    return WaitFor(5, [] { return ErrorBoxes().empty(); }) ? 0 : 1;
}

int SelectTab(int index)
{
    const std::vector<HWND> windows = MainWindows();
    for (HWND hWnd : windows) {
        // Moving the focus tab makes the control itself notify its dialog, as a click does.
        HWND hTab = GetDlgItem(hWnd, kTabControlId);
        SendMessageW(hTab, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
    }
    return windows.empty() ? 1 : 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: qsmdemo install | remove | arrange | waitbox SEC | closebox | tab N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "install")
        return Install();
    if (command == "remove")
        return Remove();
    if (command == "arrange")
        return Arrange();
    if (command == "waitbox" && argc == 3)
        return WaitBox(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    if (command == "closebox")
        return CloseBoxes();
    if (command == "tab" && argc == 3)
        return SelectTab(std::atoi(argv[2]));
    return Usage();
}
