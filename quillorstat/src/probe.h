#pragma once
#include "logfile.h"
#include "printer.h"
#include "report.h"
#include "update.h"
#include <memory>
#include <vector>

// One printer read through the same worker its status window uses: the worker
// posts to a message-only window of this thread, exactly what a window gets.
class Probe {
public:
    explicit Probe(const mrvAPI::mrvPrinter& printer);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // Polls until two cycles have reached the language monitor (its first status
    // answer on a new connection is the reset, code 25) or two have failed.
    bool StartPolling(DWORD pauseMs);
    // Fetches the log into path; the worker shows no box.
    bool StartLogDownload(const std::wstring& path);

    bool IsDone() const { return m_Done; }
    // The run's time is up while this printer's cycles are not complete.
    void MarkUnfinished();
    // Asks the worker to end its current wait or exchange at once, the way the
    // tray asks; Finish waits for it.
    void RequestStop();
    void Finish();

    const PrinterReport& Report() const { return m_Report; }
    // Read again once the worker has ended: a download can complete during the stop.
    mrvLogResult LogResult() const { return m_LogResult; }

private:
    bool Create(DWORD pauseMs);
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    mrvAPI::mrvPrinter m_Printer;
    HWND m_hWnd = nullptr;
    std::unique_ptr<mrvUpdate> m_pWorker;
    PrinterReport m_Report;
    mrvLogResult m_LogResult = mrvLogResult::NoConnection;
    int m_Reached = 0;
    int m_Missed = 0;
    bool m_Done = false;
    bool m_LogRequested = false;
};

enum class RunEnd { Done, TimedOut, Interrupted };

// Pumps the probes' messages until all are done, GetTickCount64 reaches
// deadline or hQuit is set; a probe not done by the deadline is marked so.
RunEnd RunProbes(const std::vector<std::unique_ptr<Probe>>& probes, ULONGLONG deadline, HANDLE hQuit);
// Wakes all workers first, so that they end side by side, then waits for each.
void StopProbes(const std::vector<std::unique_ptr<Probe>>& probes);
