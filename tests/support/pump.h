#pragma once
#include "win.h"
#include <functional>

namespace qsmtest {

struct PumpOptions {
    bool checkEachMessage = false; // ask pred after every dispatched message (latency measurements)
    LONGLONG* idleTicks = nullptr; // adds the performance-counter ticks spent waiting for messages
    DWORD maxWaitMs = 10;          // longest wait between checks; INFINITE wakes on messages only
};

// Dispatches this thread's messages until pred() holds or timeoutMs passes; by
// default it waits at most 10 ms at a time so conditions set by other threads are
// seen promptly.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, const PumpOptions& options = {});
// Dispatches this thread's messages for ms milliseconds.
void PumpFor(DWORD ms, const PumpOptions& options = {});

} // namespace qsmtest
