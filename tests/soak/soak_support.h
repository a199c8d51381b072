#pragma once
// Shared by the soak and churn tests: the process's resource counts, lock-free
// counts of debugger-output lines, and a heartbeat on the user-interface thread.
#include "win.h"
#include <functional>
#include <string>

namespace soak {

// QSM_SOAK_SCALE (default 1): how many times longer the runs are.
int Scale();
// The shipped language file beside the test program.
std::wstring LanguageFolder();

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);

// Counts the debugger-output lines that contain part, from any thread, without a
// lock (up to four counters at a time). DebugCapture's std::mutex would do, but
// when several threads write lines at once the MinGW runtime creates a wait event
// for it, which stays and looks like a handle the product leaked.
class LineCounter {
public:
    explicit LineCounter(const char* part);
    ~LineCounter();
    LineCounter(const LineCounter&) = delete;
    LineCounter& operator=(const LineCounter&) = delete;
    long Count() const;

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
    int m_Slot;
};

struct Counts {
    int handles;
    int threads;
    int windows; // top-level windows of this thread
    int sockets; // live Socket objects
    bool operator==(const Counts& o) const
    {
        return handles == o.handles && threads == o.threads && windows == o.windows && sockets == o.sockets;
    }
    std::string Describe() const;
};
Counts Take();
// Pumps until the counts equal expected (exiting threads take a moment to leave).
bool BackTo(const Counts& expected, DWORD timeoutMs);

// A 10 ms timer on this thread that records the longest gap between its ticks,
// and closes any message box that comes up on the thread meanwhile. A gap counts
// as blocked time without the part PumpUntil spent idle, waiting for messages:
// under Wine a timer tick can also come late because Wine's server is busy.
class Heartbeat {
public:
    Heartbeat();
    ~Heartbeat();
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

    void Stop();
    double MaxGapMs() const { return m_MaxGapMs; }
    double MaxBlockedMs() const { return m_MaxBlockedMs; }
    int Ticks() const { return m_Ticks; }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Tick();

    HWND m_hWnd;
    LONGLONG m_Last = 0;
    LONGLONG m_IdleAtLast = 0;
    double m_MaxGapMs = 0;
    double m_MaxBlockedMs = 0;
    int m_Ticks = 0;
};

} // namespace soak
