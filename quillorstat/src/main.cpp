// quillorstat: the status windows' facts on the command line, for scripts and
// monitoring systems. Reads each printer through the same worker, settings,
// printer list and catalogue as the tray program, with connections of its own.
#include "options.h"
#include "qsm_version.h"
#include "report.h"
#include "run.h"
#include "utils.h"
#include <algorithm>
#include <shellapi.h>

using namespace mrvAPI;

namespace {

// Time for the work after the probes gave up: the spooler's answers and the output.
constexpr DWORD kMaxReserveMs = 1500;
// How long a Ctrl+C gives a stop that may still complete a download.
constexpr DWORD kInterruptGraceMs = 2000;
// Windows ends a process about 5 s after a console close, logoff or shutdown event.
constexpr DWORD kCloseWaitMs = 4500;

HANDLE g_hQuit = nullptr;
HANDLE g_hDone = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    SetEvent(g_hQuit);
    // Returning ends the process at once after these: hold on until the main
    // thread has tidied up and printed its result.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_hDone, kCloseWaitMs);
    return TRUE;
}

// Wide text on a console, UTF-8 into a file or a pipe.
void Write(DWORD stream, const std::wstring& text)
{
    HANDLE h = GetStdHandle(stream);
    if (!h || h == INVALID_HANDLE_VALUE || text.empty())
        return;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

void Out(const std::wstring& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

void Err(const std::wstring& text)
{
    Write(STD_ERROR_HANDLE, L"quillorstat: " + text + L"\n");
}

int Print(const RunResult& r)
{
    Out(r.out);
    if (!r.err.empty())
        Err(r.err);
    return r.code;
}

// A thread of the work may hold the loader lock or a spooler lock for good, and
// ExitProcess would wait on it: end without it.
[[noreturn]] void EndNow(int code)
{
    SetEvent(g_hDone);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}

DWORD Left(ULONGLONG deadline)
{
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

int RunWithDeadline(const Options& o, ULONGLONG started)
{
    const bool check = o.mode == Mode::Check;
    const ULONGLONG deadline = started + o.timeoutS * 1000ULL;
    const DWORD reserve = std::min<DWORD>(kMaxReserveMs, o.timeoutS * 1000 / 4);
    Work work(o, deadline - reserve, g_hQuit);
    if (!work.Start())
        return Print({check ? CheckLine(kUnknown, L"cannot start the work thread") : L"",
                      check ? L"" : L"cannot start the work thread", check ? kUnknown : kExitFailed});

    HANDLE waits[] = {work.Published(), g_hQuit};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, Left(deadline));
    if (woke == WAIT_OBJECT_0 + 1) {
        // The probes see the same event; give their stop a moment to tell what is on disk.
        woke = WaitForSingleObject(work.Published(), std::min(Left(deadline), kInterruptGraceMs)) == WAIT_OBJECT_0
                   ? WAIT_OBJECT_0
                   : WAIT_TIMEOUT;
        if (woke != WAIT_OBJECT_0) {
            if (check)
                Out(CheckLine(kUnknown, L"interrupted"));
            else
                Err(L"interrupted");
            EndNow(check ? kUnknown : kExitInterrupted);
        }
    }
    if (woke != WAIT_OBJECT_0) {
        const std::wstring text = work.Doing() + L" did not finish within " + std::to_wstring(o.timeoutS) + L" s";
        if (check)
            Out(CheckLine(kUnknown, text));
        else
            Err(text);
        EndNow(check ? kUnknown : kExitFailed);
    }
    const int code = Print(work.Result());
    HANDLE ends[] = {work.Thread(), g_hQuit};
    DWORD ended = WaitForMultipleObjects(2, ends, FALSE, Left(deadline));
    // Asked to go (a closing console allows about 5 s): the workers' stop gets a moment, not the whole time.
    if (ended == WAIT_OBJECT_0 + 1)
        ended = WaitForSingleObject(work.Thread(), std::min(Left(deadline), kInterruptGraceMs));
    if (ended != WAIT_OBJECT_0)
        EndNow(code);
    return code;
}

int Run(const std::vector<std::wstring>& args, ULONGLONG started)
{
    Options o;
    std::wstring problem;
    if (!ParseOptions(args, o, problem)) {
        if (o.mode == Mode::Check) {
            Out(CheckLine(kUnknown, L"wrong arguments: " + problem));
            return kUnknown;
        }
        Err(problem + L"\nTry quillorstat --help.");
        return kExitUsage;
    }
    if (o.mode == Mode::Help) {
        Out(kUsage);
        return 0;
    }
    if (o.mode == Mode::Version) {
        Out(L"quillorstat " + mrvUtils::M2W(QSM_VERSION_TEXT) + L"\n");
        return 0;
    }
    return RunWithDeadline(o, started);
}

} // namespace

int main()
{
    const ULONGLONG started = GetTickCount64();
    const bool check = std::wstring(GetCommandLineW()).find(L"--check") != std::wstring::npos;
    g_hQuit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_hQuit || !g_hDone) {
        if (check)
            Out(CheckLine(kUnknown, L"cannot create an event"));
        return check ? kUnknown : kExitFailed;
    }
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    int code = check ? kUnknown : kExitFailed;
    try {
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
        std::vector<std::wstring> args;
        for (int i = 1; argv && i < count; ++i)
            args.emplace_back(argv[i]);
        if (argv)
            LocalFree(argv);
        code = Run(args, started);
    } catch (...) {
        if (check)
            Out(CheckLine(kUnknown, L"unexpected failure"));
        else
            Err(L"unexpected failure");
    }
    SetEvent(g_hDone);
    return code;
}
