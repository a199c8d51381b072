#pragma once
// Clocks, counters and statistics of the benchmark.
#include "win.h"
#include <functional>
#include <string>
#include <vector>

namespace bench {

LONGLONG Now(); // QueryPerformanceCounter
double Ms(LONGLONG ticks);
double MsSince(LONGLONG start);

// CPU time in milliseconds. Under Wine GetThreadTimes and GetProcessTimes count
// 10 ms ticks only; when the launcher names the process's Linux id (QSM_UNIX_PID)
// the kernel's run times (nanoseconds) are read instead.
class ThreadClock {
public:
    ThreadClock(); // on the thread to be measured
    double CpuMs() const;

private:
    std::string m_Task; // Linux schedstat file of this thread, or empty
};
double ProcessCpuMs();
// CPU time of Wine's server, which does part of every system call's work under
// Wine; NaN on Windows.
double WineServerCpuMs();

double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double p); // nearest rank, p in 0..1

// Private bytes in MiB (Wine: its commit figure, the resident anonymous memory).
double PrivateMb();

int EnvInt(const char* name, int fallback);

// Dispatches this thread's messages until done() holds (checked after every
// message) or timeoutMs passes; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

} // namespace bench
