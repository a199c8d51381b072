#include "measure.h"
#include "pump.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <psapi.h>
#include <string>

namespace bench {

namespace {

LONGLONG Frequency()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

double FiletimeMs(const FILETIME& t)
{
    return static_cast<double>(static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000.0;
}

// First number of a Linux schedstat file (run time in ns) in ms, or a negative value.
// Wine's server opens files for its clients: "self" there is the server.
double SchedstatMs(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    char text[128] = {};
    DWORD got = 0;
    const BOOL ok = ReadFile(h, text, sizeof text - 1, &got, nullptr);
    CloseHandle(h);
    if (!ok || got == 0)
        return -1;
    return std::strtod(text, nullptr) / 1e6;
}

std::string TaskFolder()
{
    const char* pid = std::getenv("QSM_UNIX_PID");
    return pid && *pid ? std::string("Z:\\proc\\") + pid + "\\task\\" : std::string();
}

// Linux task id -> run time in ms.
std::map<std::string, double> TaskTimes()
{
    std::map<std::string, double> times;
    const std::string folder = TaskFolder();
    if (folder.empty())
        return times;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return times;
    do {
        if (entry.cFileName[0] != '.') {
            const double ms = SchedstatMs(folder + entry.cFileName + "\\schedstat");
            if (ms >= 0)
                times[entry.cFileName] = ms;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return times;
}

} // namespace

LONGLONG Now()
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

double Ms(LONGLONG ticks)
{
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(Frequency());
}

double MsSince(LONGLONG start)
{
    return Ms(Now() - start);
}

ThreadClock::ThreadClock()
{
    // The Windows thread id does not name the Linux task: spin a little and
    // take the task that ran.
    const std::map<std::string, double> before = TaskTimes();
    if (before.empty())
        return;
    const ULONGLONG end = GetTickCount64() + 60;
    volatile unsigned spin = 0;
    while (GetTickCount64() < end)
        spin = spin + 1;
    double most = 0;
    for (const auto& task : TaskTimes()) {
        const auto was = before.find(task.first);
        const double ran = task.second - (was == before.end() ? 0 : was->second);
        if (ran > most) {
            most = ran;
            m_Task = TaskFolder() + task.first + "\\schedstat";
        }
    }
}

double ThreadClock::CpuMs() const
{
    if (!m_Task.empty())
        return SchedstatMs(m_Task);
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return FiletimeMs(kernel) + FiletimeMs(user);
}

double ProcessCpuMs()
{
    const std::map<std::string, double> tasks = TaskTimes();
    if (!tasks.empty()) {
        double total = 0;
        for (const auto& task : tasks)
            total += task.second;
        return total;
    }
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FiletimeMs(kernel) + FiletimeMs(user);
}

double WineServerCpuMs()
{
    if (TaskFolder().empty())
        return NAN;
    const double ms = SchedstatMs("Z:\\proc\\self\\schedstat");
    return ms < 0 ? NAN : ms;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[rank == 0 ? 0 : std::min(rank, values.size()) - 1];
}

double PrivateMb()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return NAN;
    const SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

int EnvInt(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value > 0 ? static_cast<int>(value) : fallback;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    // Measurements: react to the very message that makes done() true, and never
    // wake without one (the idle figure is this process's CPU).
    qsmtest::PumpOptions options;
    options.checkEachMessage = true;
    options.maxWaitMs = INFINITE;
    return qsmtest::PumpUntil(done, timeoutMs, options);
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

} // namespace bench
