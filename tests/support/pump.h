#pragma once
#include "win.h"
#include <algorithm>
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
inline bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, const PumpOptions& options = {})
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (options.checkEachMessage && pred())
                return true;
        }
        if (pred())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        LARGE_INTEGER from, to;
        QueryPerformanceCounter(&from);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(end - now, options.maxWaitMs)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        QueryPerformanceCounter(&to);
        if (options.idleTicks)
            *options.idleTicks += to.QuadPart - from.QuadPart;
    }
}
// True once done() holds, false when it still does not after timeoutMs; no messages
// are dispatched.
inline bool PollUntil(DWORD timeoutMs, const std::function<bool()>& done)
{
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !done(); Sleep(20))
        if (GetTickCount64() >= end)
            return false;
    return true;
}
// Dispatches this thread's messages for ms milliseconds.
inline void PumpFor(DWORD ms, const PumpOptions& options = {})
{
    PumpUntil([] { return false; }, ms, options);
}

} // namespace qsmtest
