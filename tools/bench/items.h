#pragma once
// The measurements of the benchmark, one function per item.
#include "answerer.h"
#include "report.h"

namespace bench {

struct Settings {
    int runs;          // repeated runs per figure
    int idleSeconds;   // item 3
    DWORD updateTime;  // items 2, 3, 6
};

// 1: one status exchange through SocketAPI and through bare Winsock. Returns the
// floor's time of one full polling cycle (its nine requests), for item 2's target.
double MeasureExchange(Answerer& answerer, const Settings& settings, Report& report);
// 2, 3 and 6: the real main dialogs.
void MeasureWindows(Answerer& answerer, const Settings& settings, double floorCycleMs, Report& report);
// 4 and 5: a worker alone.
void MeasureWorker(Answerer& answerer, const Settings& settings, Report& report);

} // namespace bench
