#pragma once
#include "lock.h"
#include "win.h"
#include <string>

namespace mrvAPI {

// Worker-thread base with a cooperative stop that falls back to forced
// termination. Bodies wait through WaitForStop (or on GetStopEvent) so that a
// stop request ends their pauses at once.
class mrvThread {
public:
    explicit mrvThread(const std::string& name);
    virtual ~mrvThread();
    mrvThread(const mrvThread&) = delete;
    mrvThread& operator=(const mrvThread&) = delete;

    void Start(int priority);
    // Asks the thread to end without waiting; a later Stop then only waits. Lets
    // an owner of several threads have them all end side by side.
    void RequestStop();
    // Waits dispatching the messages that other threads send to this one, so that
    // a thread which sends to our windows cannot hold the stop up.
    void Stop(DWORD timeoutMs);
    bool IsStopRequested();
    bool IsFinished();

    DWORD GetThreadId();
    const std::string& GetName() const { return m_Name; }

    // Manual-reset event, set by Stop and reset by Start.
    HANDLE GetStopEvent() const { return m_hStopEvent; }
    // Sleeps up to ms; returns true at once when a stop is requested.
    bool WaitForStop(DWORD ms);

protected:
    virtual DWORD ThreadProc() = 0;
    // Runs on the thread that asks for the stop, right after the body has been
    // woken: for what a wait on the stop event cannot reach (a box the body shows).
    virtual void OnStopRequested() {}

private:
    static DWORD WINAPI StartRoutine(LPVOID param);

    std::string m_Name;
    mrvCriticalSection m_StateLock;
    HANDLE m_hThread;
    DWORD m_ThreadId;
    bool m_StopRequested;
    bool m_Finished;
    HANDLE m_hStopEvent;
};

} // namespace mrvAPI
