#include "pump.h"
#include <algorithm>

namespace qsmtest {

namespace {

LONGLONG Counter()
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

} // namespace

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, const PumpOptions& options)
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
        const LONGLONG idleFrom = options.idleTicks ? Counter() : 0;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(end - now, options.maxWaitMs)), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        if (options.idleTicks)
            *options.idleTicks += Counter() - idleFrom;
    }
}

void PumpFor(DWORD ms, const PumpOptions& options)
{
    PumpUntil([] { return false; }, ms, options);
}

} // namespace qsmtest
