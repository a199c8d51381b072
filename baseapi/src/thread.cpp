#include "thread.h"
#include "debug.h"
#include "exception.h"
#include "utils.h"
#include <exception>

namespace mrvAPI {

namespace {
const char* const kFile = "baseapi\\src\\thread";
}

mrvThread::mrvThread(const std::string& name)
    : m_Name(name), m_StateLock("Thread: " + name), m_hThread(nullptr), m_ThreadId(0), m_StopRequested(false),
      m_Finished(false), m_hStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

mrvThread::~mrvThread()
{
    Stop(3000);
    if (m_hStopEvent)
        CloseHandle(m_hStopEvent);
}

void mrvThread::Start(int priority)
{
    mrvLock lock(&m_StateLock);
    if (m_hThread)
        throw mrvException(mrvE_FAIL, "Thread already started.", "mrvAPI::mrvThread::Start", kFile, __LINE__);
    m_Finished = false;
    m_StopRequested = false;
    if (m_hStopEvent)
        ResetEvent(m_hStopEvent);
    m_hThread = CreateThread(nullptr, 0, &mrvThread::StartRoutine, this, 0, &m_ThreadId);
    if (!m_hThread) {
        m_ThreadId = 0;
        ThrowSystemError("Can't create thread.", GetLastError(), "mrvAPI::mrvThread::Start", kFile, __LINE__);
    }
    mrvDebugLine() << "Thread <" << m_ThreadId << "> started.";
    SetThreadPriority(m_hThread, priority);
}

DWORD WINAPI mrvThread::StartRoutine(LPVOID param)
{
    mrvThread* self = static_cast<mrvThread*>(param);
    // An exception leaving the body would end the whole process.
    try {
        self->ThreadProc();
    } catch (const mrvException& e) {
        mrvDebugLine() << "Thread <" << GetCurrentThreadId() << "> exception: " << e.GetReport(" ");
    } catch (const std::exception& e) {
        mrvDebugLine() << "Thread <" << GetCurrentThreadId() << "> exception: " << e.what();
    } catch (...) {
        mrvDebugLine() << "Thread <" << GetCurrentThreadId() << "> exception.";
    }
    mrvDebugLine() << "Thread <" << GetCurrentThreadId() << "> stopped.";
    mrvLock lock(&self->m_StateLock);
    self->m_Finished = true;
    return 0;
}

void mrvThread::RequestStop()
{
    DWORD id;
    {
        mrvLock lock(&m_StateLock);
        if (!m_hThread || m_StopRequested)
            return;
        id = m_ThreadId;
        m_StopRequested = true;
    }
    mrvDebugLine() << "Thread <" << id << "> will be stopped now.";
    // Woken only after the line above, so that a pausing body's "stopped." follows it.
    if (m_hStopEvent)
        SetEvent(m_hStopEvent);
    OnStopRequested();
}

namespace {

// Waits up to ms for the thread to end; messages sent to this thread meanwhile
// are handled, posted ones stay queued.
void WaitDispatchingSent(HANDLE hThread, DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
        const DWORD result = MsgWaitForMultipleObjects(1, &hThread, FALSE, left, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (left == 0)
            return;
    }
}

} // namespace

void mrvThread::Stop(DWORD timeoutMs)
{
    HANDLE hThread;
    DWORD id;
    {
        mrvLock lock(&m_StateLock);
        if (!m_hThread)
            return;
        hThread = m_hThread;
        id = m_ThreadId;
    }
    RequestStop();
    const DWORD polls = timeoutMs / 100;
    bool finished = IsFinished();
    for (DWORD i = 0; i < polls && !finished; ++i) {
        // A 100 ms poll step that ends early when the thread exits.
        WaitDispatchingSent(hThread, 100);
        finished = IsFinished();
    }
    if (finished) {
        mrvDebugLine() << "Thread <" << id << "> termination recognized, stop normal.";
        // The body has returned; let the start routine's last instructions complete.
        WaitDispatchingSent(hThread, 1000);
    } else {
        mrvDebugLine() << "Thread <" << id << "> does not end, terminate thread.";
        TerminateThread(hThread, 0);
        WaitForSingleObject(hThread, 1000);
    }
    CloseHandle(hThread);
    mrvLock lock(&m_StateLock);
    m_StopRequested = false;
    m_Finished = false;
    m_hThread = nullptr;
    m_ThreadId = 0;
}

bool mrvThread::IsStopRequested()
{
    mrvLock lock(&m_StateLock);
    return m_StopRequested;
}

bool mrvThread::IsFinished()
{
    mrvLock lock(&m_StateLock);
    return m_Finished;
}

DWORD mrvThread::GetThreadId()
{
    mrvLock lock(&m_StateLock);
    return m_ThreadId;
}

bool mrvThread::WaitForStop(DWORD ms)
{
    if (!m_hStopEvent) {
        Sleep(ms);
        return IsStopRequested();
    }
    return WaitForSingleObject(m_hStopEvent, ms) == WAIT_OBJECT_0;
}

} // namespace mrvAPI
