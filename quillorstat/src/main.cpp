// quillorstat: the status windows' facts on the command line, for scripts and
// monitoring systems. Reads each printer through the same worker, settings,
// printer list and catalogue as the tray program, with connections of its own.
#include "exception.h"
#include "language.h"
#include "logfile.h"
#include "monitor.h"
#include "printer.h"
#include "probe.h"
#include "report.h"
#include "qsm_version.h"
#include "settings.h"
#include "trydlg.h"
#include "utils.h"
#include <shellapi.h>

using namespace mrvAPI;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
constexpr DWORD kDefaultTimeoutS = 10;
// The window's limit for the first log data, and a little for the connection.
constexpr DWORD kLogTimeoutS = 185;
// The windows' pause between cycles, but never so long that a run drags.
constexpr DWORD kMaxPauseMs = 1000;

const wchar_t* const kUsage =
    L"quillorstat - printer status from the Quillor language monitor\n"
    L"\n"
    L"  quillorstat [--format table|json|prometheus] [--printer NAME] [--timeout SECONDS]\n"
    L"  quillorstat --check [--warn PERCENT] [--crit PERCENT] [--printer NAME] [--timeout SECONDS]\n"
    L"  quillorstat --save-log NAME FILE [--timeout SECONDS]\n"
    L"  quillorstat --help | --version\n"
    L"\n"
    L"  --format    table (default), json (one UTF-8 document) or prometheus (text format)\n"
    L"  --check     one monitoring-plugin line; exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
    L"  --warn      WARNING when ink or UV lamp is below this percentage (default 15)\n"
    L"  --crit      CRITICAL when ink or UV lamp is below this percentage (default 5);\n"
    L"              a printer error is always CRITICAL\n"
    L"  --printer   only the monitored printer of this name\n"
    L"  --save-log  the printer's log into FILE, byte for byte; no file when it fails\n"
    L"  --timeout   give up after this many seconds (default 10, with --save-log 185)\n"
    L"\n"
    L"Exit code without --check: 0 done, 1 a printer's language monitor could not be\n"
    L"read or the log not saved, 2 wrong arguments, 130 interrupted (Ctrl+C).\n";

enum class Mode { Table, Json, Prometheus, Check, SaveLog, Help, Version };

struct Options {
    Mode mode = Mode::Table;
    bool formatGiven = false;
    std::wstring printer;
    CheckLimits limits;
    DWORD timeoutS = kDefaultTimeoutS;
    bool timeoutGiven = false;
    std::wstring logPrinter;
    std::wstring logFile;
};

HANDLE g_hQuit = nullptr;

BOOL WINAPI OnConsoleControl(DWORD)
{
    // Ctrl+C, Ctrl+Break, a closed console: end the run now, cleanly, on the main thread.
    SetEvent(g_hQuit);
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

bool ReadNumber(const std::wstring& text, DWORD low, DWORD high, DWORD& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    value = static_cast<DWORD>(std::stoul(text));
    return value >= low && value <= high;
}

bool Parse(const std::vector<std::wstring>& args, Options& o, std::wstring& problem)
{
    const auto modeOnce = [&](Mode mode) {
        if (o.mode != Mode::Table || o.formatGiven) {
            problem = L"choose one of --format, --check, --save-log, --help and --version";
            return false;
        }
        o.mode = mode;
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const auto value = [&](std::wstring& out) {
            if (i + 1 >= args.size()) {
                problem = a + L" needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto number = [&](DWORD low, DWORD high, DWORD& out) {
            std::wstring text;
            if (!value(text))
                return false;
            if (!ReadNumber(text, low, high, out)) {
                problem = a + L" wants a whole number from " + std::to_wstring(low) + L" to " + std::to_wstring(high) +
                          L", not \"" + text + L"\"";
                return false;
            }
            return true;
        };
        DWORD n = 0;
        std::wstring text;
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            if (!modeOnce(Mode::Help))
                return false;
        } else if (a == L"--version") {
            if (!modeOnce(Mode::Version))
                return false;
        } else if (a == L"--check") {
            if (!modeOnce(Mode::Check))
                return false;
        } else if (a == L"--format") {
            if (!value(text))
                return false;
            const Mode mode = text == L"table" ? Mode::Table
                              : text == L"json" ? Mode::Json
                              : text == L"prometheus" ? Mode::Prometheus
                                                      : Mode::Help;
            if (mode == Mode::Help) {
                problem = L"unknown format \"" + text + L"\" (table, json or prometheus)";
                return false;
            }
            if (!modeOnce(mode))
                return false;
            o.formatGiven = true;
        } else if (a == L"--save-log") {
            if (!modeOnce(Mode::SaveLog) || !value(o.logPrinter) || !value(o.logFile))
                return false;
        } else if (a == L"--printer") {
            if (!value(o.printer))
                return false;
        } else if (a == L"--warn") {
            if (!number(0, 100, n))
                return false;
            o.limits.warn = n;
        } else if (a == L"--crit") {
            if (!number(0, 100, n))
                return false;
            o.limits.crit = n;
        } else if (a == L"--timeout") {
            if (!number(1, 86400, o.timeoutS))
                return false;
            o.timeoutGiven = true;
        } else {
            problem = L"unknown argument \"" + a + L"\"";
            return false;
        }
    }
    if (o.limits.crit > o.limits.warn) {
        problem = L"--crit " + std::to_wstring(o.limits.crit) + L" is above --warn " + std::to_wstring(o.limits.warn);
        return false;
    }
    if (o.mode == Mode::SaveLog && !o.printer.empty()) {
        problem = L"--save-log names its printer itself";
        return false;
    }
    if (o.mode == Mode::SaveLog && o.logFile.size() >= MAX_PATH) {
        problem = L"the log file name is longer than " + std::to_wstring(MAX_PATH - 1) + L" characters";
        return false;
    }
    if (o.mode == Mode::SaveLog && !o.timeoutGiven)
        o.timeoutS = kLogTimeoutS;
    return true;
}

std::wstring UnreachableText()
{
    DWORD port = 0;
    if (!mrvSettings::ReadTcpPort(port))
        return L"no TCP port is set for the language monitor (\"TCPPort\")";
    return L"the language monitor on TCP port " + std::to_wstring(port) + L" cannot be reached";
}

// The printers the tray would show a window for, in tray order.
std::vector<std::unique_ptr<mrvPrinter>> MonitoredPrinters(const std::wstring& only)
{
    std::vector<std::unique_ptr<mrvPrinter>> printers;
    for (UINT i = 0; i < mrvPrinter::GetCount(); ++i) {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (printer && mrvTryDialog::IsMonitored(*printer) && (only.empty() || printer->GetName() == only))
            printers.push_back(std::move(printer));
    }
    return printers;
}

int SaveLog(const Options& o, const std::vector<std::unique_ptr<mrvPrinter>>& printers)
{
    if (printers.empty()) {
        Err(L"printer \"" + o.logPrinter + L"\" is not monitored");
        return kExitFailed;
    }
    std::vector<std::unique_ptr<Probe>> probes;
    probes.push_back(std::make_unique<Probe>(*printers.front()));
    if (!probes.front()->StartLogDownload(o.logFile)) {
        Err(L"cannot start the worker");
        return kExitFailed;
    }
    const RunEnd end = RunProbes(probes, o.timeoutS * 1000, g_hQuit);
    if (end == RunEnd::Interrupted) {
        Err(L"interrupted; no log saved");
        return kExitInterrupted;
    }
    if (end == RunEnd::TimedOut) {
        Err(L"the log did not arrive within " + std::to_wstring(o.timeoutS) + L" s; no log saved");
        return kExitFailed;
    }
    const mrvLogResult result = probes.front()->LogResult();
    if (result != mrvLogResult::Saved) {
        std::wstring text = LogResultText(result);
        if (result == mrvLogResult::NoConnection)
            text += L" (" + UnreachableText() + L")";
        Err(text + L" No log saved.");
        return kExitFailed;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(o.logFile.c_str(), GetFileExInfoStandard, &data);
    Out(L"Saved the log of " + o.logPrinter + L" to " + o.logFile + L" (" + std::to_wstring(data.nFileSizeLow) +
        L" bytes).\n");
    return 0;
}

int Show(const Options& o, const std::vector<std::unique_ptr<mrvPrinter>>& printers)
{
    const bool check = o.mode == Mode::Check;
    std::vector<std::unique_ptr<Probe>> probes;
    const DWORD pause = std::min(mrvSettings::ReadUpdateTime(), kMaxPauseMs);
    for (const auto& printer : printers) {
        probes.push_back(std::make_unique<Probe>(*printer));
        if (!probes.back()->StartPolling(pause)) {
            Err(L"cannot start the worker");
            return check ? kUnknown : kExitFailed;
        }
    }
    if (RunProbes(probes, o.timeoutS * 1000, g_hQuit) == RunEnd::Interrupted) {
        if (check)
            Out(L"QUILLOR UNKNOWN - interrupted\n");
        else
            Err(L"interrupted");
        return check ? kUnknown : kExitInterrupted;
    }
    std::vector<PrinterReport> reports;
    bool allAnswered = !printers.empty();
    for (const auto& probe : probes) {
        reports.push_back(probe->Report());
        reports.back().queuedJobs = mrvMonitor::QueuedJobCount(reports.back().name);
        allAnswered = allAnswered && reports.back().answered;
    }
    const std::wstring unreachable = UnreachableText();
    switch (o.mode) {
    case Mode::Check: {
        if (reports.empty()) {
            Out(o.printer.empty() ? L"QUILLOR UNKNOWN - no printer is monitored\n"
                                  : L"QUILLOR UNKNOWN - printer " + o.printer + L" is not monitored\n");
            return kUnknown;
        }
        CheckState state = kUnknown;
        Out(FormatCheck(reports, o.limits, unreachable, state));
        return state;
    }
    case Mode::Json: Out(FormatJson(reports, mrvUtils::M2W(QSM_VERSION_TEXT))); break;
    case Mode::Prometheus: Out(FormatPrometheus(reports)); break;
    default: Out(FormatTable(reports, unreachable)); break;
    }
    if (reports.empty())
        Err(o.printer.empty() ? mrvLanguages::GetText(1) : L"printer \"" + o.printer + L"\" is not monitored");
    return allAnswered ? 0 : kExitFailed;
}

int Run(const std::vector<std::wstring>& args)
{
    Options o;
    std::wstring problem;
    if (!Parse(args, o, problem)) {
        for (const auto& a : args)
            if (a == L"--check") {
                Out(L"QUILLOR UNKNOWN - wrong arguments: " + problem + L"\n");
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
    const bool check = o.mode == Mode::Check;
    g_hQuit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_hQuit)
        return check ? kUnknown : kExitFailed;
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);

    try {
        mrvLanguages::Load();
    } catch (const mrvException& e) {
        const std::wstring report = mrvUtils::M2W(e.GetReport(" "));
        if (check)
            Out(L"QUILLOR UNKNOWN - " + report + L"\n");
        else
            Err(report);
        return check ? kUnknown : kExitFailed;
    }
    struct Guard {
        ~Guard()
        {
            mrvPrinter::Clear();
            mrvLanguages::Clear();
        }
    } guard;
    mrvPrinter::Enumerate(mrvSettings::ReadPrinterFilter("quillorstat").c_str());
    const auto printers = MonitoredPrinters(o.mode == Mode::SaveLog ? o.logPrinter : o.printer);
    return o.mode == Mode::SaveLog ? SaveLog(o, printers) : Show(o, printers);
}

} // namespace

int main()
{
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i)
        args.emplace_back(argv[i]);
    if (argv)
        LocalFree(argv);
    int code = kExitFailed;
    try {
        code = Run(args);
    } catch (...) {
        Err(L"unexpected failure");
    }
    if (g_hQuit) {
        SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
        CloseHandle(g_hQuit);
    }
    return code;
}
