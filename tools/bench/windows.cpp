// The real main dialogs against the answerer: poll-to-window latency (2), the
// idle cost of hidden windows (3) and the memory per printer (6).
#include "items.h"
#include "maindlg.h"
#include "measure.h"
#include "printer.h"
#include "resource_counts.h"
#include "resource.h"
#include "socket.h"
#include <cmath>
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace bench {

namespace {

using Dialogs = std::vector<std::unique_ptr<mrvMainDialog>>;

struct Memory {
    double privateMb;
    int threads;
    int handles;
};

Memory Sample()
{
    return Memory{PrivateMb(), qsmtest::ThreadCount(), qsmtest::HandleCount()};
}

void Open(Dialogs& dialogs, size_t count)
{
    for (size_t i = dialogs.size(); i < count; ++i) {
        const std::wstring n = std::to_wstring(i + 1);
        dialogs.push_back(std::make_unique<mrvMainDialog>(
            mrvAPI::mrvPrinter(L"Bench Printer " + n, L"USB" + n, L"QUILLOR Bench")));
        dialogs.back()->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        dialogs.back()->Hide();
    }
}

void Close(Dialogs& dialogs)
{
    for (auto& dialog : dialogs)
        dialog->Destroy();
    dialogs.clear();
}

HWND InkBar(HWND hMain)
{
    HWND found = nullptr;
    EnumChildWindows(
        hMain,
        [](HWND hChild, LPARAM out) {
            HWND bar = GetDlgItem(hChild, IDC_INK_LEVEL);
            if (bar)
                *reinterpret_cast<HWND*>(out) = bar;
            return bar ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Time from each change of the ink level at the answerer until every bar shows it.
std::vector<double> Latencies(Answerer& answerer, const Dialogs& dialogs, int changes, DWORD updateTime)
{
    std::vector<HWND> bars;
    for (const auto& dialog : dialogs)
        bars.push_back(InkBar(dialog->GetHwnd()));
    int level = 10;
    auto allShow = [&](int value) {
        for (HWND bar : bars)
            if (static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)) != value)
                return false;
        return true;
    };
    answerer.SetInk(level);
    if (!PumpUntil([&] { return allShow(level); }, 10000))
        throw std::runtime_error("latency: the bars do not follow the answerer");

    std::vector<double> samples;
    unsigned seed = 12345;
    for (int change = 0; change < changes; ++change) {
        // A change lands anywhere in the cycle, not just after the ink request.
        seed = seed * 1103515245u + 12345u;
        PumpFor((seed >> 8) % (updateTime + 1));
        level = level == 10 ? 60 : 10;
        std::vector<double> seen(bars.size(), -1);
        size_t pending = bars.size();
        const LONGLONG t0 = Now();
        answerer.SetInk(level);
        PumpUntil(
            [&] {
                for (size_t i = 0; i < bars.size(); ++i)
                    if (seen[i] < 0 && static_cast<int>(SendMessageW(bars[i], PBM_GETPOS, 0, 0)) == level) {
                        seen[i] = MsSince(t0);
                        --pending;
                    }
                return pending == 0;
            },
            10000);
        for (double s : seen)
            samples.push_back(s < 0 ? 10000 : s);
    }
    return samples;
}

void ReportLatency(Report& report, const std::string& name, const std::vector<double>& samples, DWORD updateTime,
                   double floorCycleMs)
{
    const double bound = updateTime + 2 * floorCycleMs;
    char target[64];
    std::snprintf(target, sizeof target, "p95 <= %.1f", bound);
    report.Add("2 latency", name, "ms", samples, target, Percentile(samples, 0.95) <= bound);
}

void ReportMemory(Report& report, const std::string& name, const Memory& m)
{
    report.Add("6 memory", "private bytes, " + name, "MiB", {m.privateMb});
    report.Add("6 memory", "threads, " + name, "", {static_cast<double>(m.threads)});
    report.Add("6 memory", "handles, " + name, "", {static_cast<double>(m.handles)});
}

} // namespace

void MeasureWindows(Answerer& answerer, const Settings& settings, double floorCycleMs, Report& report)
{
    const int changes1 = 4 * settings.runs;
    const int changes16 = settings.runs;
    Dialogs dialogs;
    const Memory none = Sample();

    Open(dialogs, 1);
    dialogs[0]->Show();
    const std::vector<double> one = Latencies(answerer, dialogs, changes1, settings.updateTime);
    const Memory withOne = Sample();
    Close(dialogs);

    Open(dialogs, 16);
    for (auto& dialog : dialogs)
        dialog->Show();
    const std::vector<double> sixteen = Latencies(answerer, dialogs, changes16, settings.updateTime);
    const Memory withSixteen = Sample();

    ReportLatency(report, "poll to bar, 1 printer shown", one, settings.updateTime, floorCycleMs);
    ReportLatency(report, "poll to bar, 16 printers shown (each bar)", sixteen, settings.updateTime, floorCycleMs);

    // 3: all hidden; the workers drop their connections at their next cycle.
    for (auto& dialog : dialogs)
        dialog->Hide();
    PumpFor(2 * settings.updateTime + 500);
    const int heldBefore = answerer.Connections();
    const long requestsBefore = answerer.Requests();
    const double cpu0 = ProcessCpuMs();
    const double server0 = WineServerCpuMs();
    const LONGLONG t0 = Now();
    PumpFor(static_cast<DWORD>(settings.idleSeconds) * 1000);
    const double idleMs = MsSince(t0);
    const double share = 100.0 * (ProcessCpuMs() - cpu0) / idleMs;
    const double serverShare = 100.0 * (WineServerCpuMs() - server0) / idleMs;
    const int held = std::max(heldBefore, answerer.Connections()) + Socket::GetLiveCount();
    const long requests = answerer.Requests() - requestsBefore;
    const char* item = "3 idle";
    report.Add(item, "process CPU, 16 hidden, " + std::to_string(settings.idleSeconds) + " s", "%", {share},
               "< 0.2 % of a core", share < 0.2);
    if (!std::isnan(serverShare))
        report.Add(item, "Wine server CPU meanwhile", "%", {serverShare});
    report.Add(item, "connections held (answerer + SocketAPI)", "", {static_cast<double>(held)}, "0", held == 0);
    report.Add(item, "requests received while idle", "", {static_cast<double>(requests)}, "0", requests == 0);
    Close(dialogs);

    ReportMemory(report, "0 printers", none);
    ReportMemory(report, "1 printer", withOne);
    ReportMemory(report, "16 printers", withSixteen);
    report.Add("6 memory", "private bytes per printer (1 to 16)", "MiB",
               {(withSixteen.privateMb - withOne.privateMb) / 15});
    report.Add("6 memory", "threads per printer (1 to 16)", "",
               {static_cast<double>(withSixteen.threads - withOne.threads) / 15});
    report.Add("6 memory", "handles per printer (1 to 16)", "",
               {static_cast<double>(withSixteen.handles - withOne.handles) / 15});
}

} // namespace bench
