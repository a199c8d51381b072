#pragma once
#include "handle.h"
#include "lock.h"
#include "options.h"
#include "win.h"
#include <string>

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// What a run prints and its exit code.
struct RunResult {
    std::wstring out;
    std::wstring err; // without the program's prefix
    int code = kExitFailed;
};

// The run's work on a thread of its own, so that the main thread can end the
// process at the deadline whatever the work waits on (the spooler, a driver, a
// worker that does not stop).
class Work {
public:
    // The probes give up at pollDeadline (a GetTickCount64 value); hQuit ends the run early.
    Work(const Options& options, ULONGLONG pollDeadline, HANDLE hQuit);
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;

    bool Start();
    // Set once the result is there; the workers may still be stopping then.
    HANDLE Published() const { return m_Published.Get(); }
    // Signalled when the thread has ended.
    HANDLE Thread() const { return m_Thread.Get(); }
    RunResult Result();
    // What the work is busy with, as "<what> did not finish" names it.
    std::wstring Doing();

private:
    static DWORD WINAPI ThreadMain(LPVOID param);
    void Execute();
    void Publish(const RunResult& result);
    void SetDoing(const std::wstring& what);
    RunResult Show();
    RunResult SaveLog();
    RunResult List();

    Options m_Options;
    ULONGLONG m_PollDeadline;
    HANDLE m_hQuit;
    mrvAPI::mrvKernelHandle m_Published;
    mrvAPI::mrvKernelHandle m_Thread;
    mrvAPI::mrvCriticalSection m_Lock{"Work"};
    RunResult m_Result;
    std::wstring m_Doing;
};

// "2026-12-07T06:50:00Z" for now.
std::wstring UtcNow();
// Printer names compare as Windows compares them: ordinal, ignoring case.
bool SameName(const std::wstring& a, const std::wstring& b);
