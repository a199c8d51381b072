#include "run.h"
#include "exception.h"
#include "info.h"
#include "language.h"
#include "logfile.h"
#include "monitor.h"
#include "printer.h"
#include "probe.h"
#include "qsm_version.h"
#include "report.h"
#include "settings.h"
#include "trydlg.h"
#include "utils.h"
#include <algorithm>

using namespace mrvAPI;

namespace {

// The windows' pause between cycles, but never so long that a run drags.
constexpr DWORD kMaxPauseMs = 1000;

std::wstring UnreachableText()
{
    DWORD port = 0;
    if (!mrvSettings::ReadTcpPort(port))
        return L"no TCP port is set for the language monitor (\"TCPPort\")";
    return L"the language monitor on TCP port " + std::to_wstring(port) + L" cannot be reached";
}

std::wstring TimeUpText(DWORD timeoutS)
{
    return L"did not finish within " + std::to_wstring(timeoutS) + L" s";
}

RunResult Failure(bool check, const std::wstring& text)
{
    RunResult r;
    if (check) {
        r.out = CheckLine(kUnknown, text);
        r.code = kUnknown;
    } else {
        r.err = text;
        r.code = kExitFailed;
    }
    return r;
}

// The printers the tray would show a window for, in tray order.
std::vector<std::unique_ptr<mrvPrinter>> MonitoredPrinters(const std::wstring& only)
{
    std::vector<std::unique_ptr<mrvPrinter>> printers;
    for (UINT i = 0; i < mrvPrinter::GetCount(); ++i) {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (printer && mrvTryDialog::IsMonitored(*printer) && (only.empty() || SameName(printer->GetName(), only)))
            printers.push_back(std::move(printer));
    }
    return printers;
}

ULONGLONG LastWrite(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

ULONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ULONGLONG SystemTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

std::wstring UtcNow()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

Work::Work(const Options& options, ULONGLONG pollDeadline, HANDLE hQuit)
    : m_Options(options), m_PollDeadline(pollDeadline), m_hQuit(hQuit)
{
}

bool Work::Start()
{
    m_Published.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_Published.IsValid())
        return false;
    m_Thread.Reset(CreateThread(nullptr, 0, &Work::ThreadMain, this, 0, nullptr));
    return m_Thread.IsValid();
}

RunResult Work::Result()
{
    mrvLock lock(&m_Lock);
    return m_Result;
}

std::wstring Work::Doing()
{
    mrvLock lock(&m_Lock);
    return m_Doing;
}

void Work::SetDoing(const std::wstring& what)
{
    mrvLock lock(&m_Lock);
    m_Doing = what;
}

void Work::Publish(const RunResult& result)
{
    {
        mrvLock lock(&m_Lock);
        m_Result = result;
    }
    SetEvent(m_Published.Get());
}

DWORD WINAPI Work::ThreadMain(LPVOID param)
{
    static_cast<Work*>(param)->Execute();
    return 0;
}

void Work::Execute()
{
    const bool check = m_Options.mode == Mode::Check;
    try {
        SetDoing(L"the language file");
        mrvLanguages::Load();
        struct Guard {
            ~Guard()
            {
                mrvPrinter::Clear();
                mrvLanguages::Clear();
            }
        } guard;
        SetDoing(L"the printer list");
        // The list shows every printer and says which ones the filter leaves out.
        const std::wstring filter = mrvSettings::ReadPrinterFilter("quillorstat");
        if (!mrvPrinter::Enumerate(m_Options.mode == Mode::List ? L"" : filter.c_str())) {
            Publish(Failure(check, L"the spooler did not give its printer list"));
            return;
        }
        const RunResult result = m_Options.mode == Mode::List      ? List()
                                 : m_Options.mode == Mode::SaveLog ? SaveLog()
                                                                   : Show();
        // Show has published already, before its workers stopped.
        if (WaitForSingleObject(m_Published.Get(), 0) != WAIT_OBJECT_0)
            Publish(result);
    } catch (const mrvException& e) {
        Publish(Failure(check, mrvUtils::M2W(e.GetReport(" "))));
    } catch (const std::exception& e) {
        Publish(Failure(check, L"unexpected failure: " + mrvUtils::M2W(e.what())));
    } catch (...) {
        Publish(Failure(check, L"unexpected failure"));
    }
}

RunResult Work::List()
{
    const std::wstring filter = mrvSettings::ReadPrinterFilter("quillorstat");
    RunResult r;
    r.code = 0;
    for (UINT i = 0; i < mrvPrinter::GetCount(); ++i) {
        const std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(i));
        if (!printer)
            continue;
        SetDoing(L"the driver record of " + printer->GetName());
        const auto version = mrvInfo::ReadDriverVersion(printer->GetName());
        const std::wstring monitored =
            !mrvPrinter::MatchesMask(printer->GetDriver(), filter.c_str())
                ? L"no: its driver name does not contain the printer filter \"" + filter + L"\""
            : !mrvTryDialog::IsMonitored(*printer) ? L"no: a printer on a COM port"
                                                   : L"yes";
        r.out += (r.out.empty() ? L"" : L"\n") + Visible(printer->GetName()) + L"\n";
        r.out += L"  Port            " + Visible(printer->GetPort()) + L"\n";
        r.out += L"  Driver          " + Visible(printer->GetDriver()) + L"\n";
        r.out += L"  Driver version  " + (version ? mrvInfo::InfLine(*version) : L"-") + L"\n";
        r.out += L"  Monitored       " + monitored + L"\n";
    }
    if (r.out.empty()) {
        r.err = L"the spooler knows no printer";
        r.code = kExitFailed;
    }
    return r;
}

RunResult Work::SaveLog()
{
    const Options& o = m_Options;
    const auto printers = MonitoredPrinters(o.logPrinter);
    if (printers.empty())
        return Failure(false, L"printer \"" + o.logPrinter + L"\" is not monitored");
    std::vector<std::unique_ptr<Probe>> probes;
    probes.push_back(std::make_unique<Probe>(*printers.front()));
    // Whatever was at the path before counts as saved only when written anew.
    const ULONGLONG started = SystemTimeNow();
    if (!probes.front()->StartLogDownload(o.logFile))
        return Failure(false, L"cannot start the worker");
    SetDoing(L"the log download of " + printers.front()->GetName());
    const RunEnd end = RunProbes(probes, m_PollDeadline, m_hQuit);
    SetDoing(L"the stop of the log download of " + printers.front()->GetName());
    StopProbes(probes);
    // What is on disk decides, whatever ended the wait: a stop that lands after the
    // download leaves the file in place.
    const mrvLogResult result = probes.front()->LogResult();
    if (result == mrvLogResult::Saved && LastWrite(o.logFile) >= started) {
        RunResult r;
        r.code = 0;
        r.out = L"Saved the log of " + printers.front()->GetName() + L" to " + o.logFile + L" (" +
                std::to_wstring(FileSize(o.logFile)) + L" bytes).\n";
        return r;
    }
    if (end == RunEnd::Interrupted) {
        RunResult r = Failure(false, L"interrupted; no log saved");
        r.code = kExitInterrupted;
        return r;
    }
    if (end == RunEnd::TimedOut)
        return Failure(false, L"the log did not arrive within " + std::to_wstring(o.timeoutS) + L" s; no log saved");
    std::wstring text = LogResultText(result);
    if (result == mrvLogResult::NoConnection)
        text += L" (" + UnreachableText() + L")";
    return Failure(false, text + L" No log saved.");
}

RunResult Work::Show()
{
    const Options& o = m_Options;
    const bool check = o.mode == Mode::Check;
    const auto printers = MonitoredPrinters(o.printer);
    if (printers.empty() && check)
        return Failure(true, o.printer.empty() ? L"no printer is monitored" : L"printer " + o.printer + L" is not monitored");
    std::vector<std::unique_ptr<Probe>> probes;
    const DWORD pause = std::min(mrvSettings::ReadUpdateTime(), kMaxPauseMs);
    for (const auto& printer : printers) {
        probes.push_back(std::make_unique<Probe>(*printer));
        if (!probes.back()->StartPolling(pause))
            return Failure(check, L"cannot start the worker");
    }
    SetDoing(L"the polling of the language monitor");
    if (RunProbes(probes, m_PollDeadline, m_hQuit) == RunEnd::Interrupted) {
        RunResult r = Failure(check, L"interrupted");
        if (!check)
            r.code = kExitInterrupted;
        return r;
    }
    RunRecord run;
    run.checkedAt = UtcNow();
    run.version = mrvUtils::M2W(QSM_VERSION_TEXT);
    run.unreachable = UnreachableText();
    run.timeUp = TimeUpText(o.timeoutS);
    bool allAnswered = !printers.empty();
    for (const auto& probe : probes) {
        PrinterReport p = probe->Report();
        SetDoing(L"the spooler query for " + p.name);
        p.queuedJobs = mrvMonitor::TryQueuedJobCount(p.name);
        p.driverVersion = mrvInfo::ReadDriverVersion(p.name);
        allAnswered = allAnswered && p.finished && p.answered;
        run.printers.push_back(std::move(p));
    }
    RunResult r;
    r.code = allAnswered ? 0 : kExitFailed;
    switch (o.mode) {
    case Mode::Check: {
        CheckState state = kUnknown;
        r.out = FormatCheck(run, o.limits, state);
        r.code = state;
        break;
    }
    case Mode::Json: r.out = FormatJson(run, o.limits); break;
    case Mode::Prometheus: r.out = FormatPrometheus(run); break;
    case Mode::Checkmk: r.out = FormatCheckmk(run, o.limits); break;
    default: r.out = FormatTable(run); break;
    }
    if (printers.empty())
        r.err = o.printer.empty() ? mrvLanguages::GetText(1) : L"printer \"" + o.printer + L"\" is not monitored";
    // The facts are complete: the workers' stop only tidies up, under the main thread's deadline.
    Publish(r);
    SetDoing(L"the stop of the workers");
    StopProbes(probes);
    return r;
}
