#include "thread.h"
#include "debug.h"
#include "exception.h"
#include "utils.h"

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
    self->ThreadProc();
    mrvDebugLine() << "Thread <" << GetCurrentThreadId() << "> stopped.";
    mrvLock lock(&self->m_StateLock);
    self->m_Finished = true;
    return 0;
}

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
        m_StopRequested = true;
    }
    mrvDebugLine() << "Thread <" << id << "> will be stopped now.";
    // Woken only after the line above, so that a pausing body's "stopped." follows it.
    if (m_hStopEvent)
        SetEvent(m_hStopEvent);
    const DWORD polls = timeoutMs / 100;
    bool finished = IsFinished();
    for (DWORD i = 0; i < polls && !finished; ++i) {
        // A 100 ms poll step that ends early when the thread exits.
        WaitForSingleObject(hThread, 100);
        finished = IsFinished();
    }
    if (finished) {
        mrvDebugLine() << "Thread <" << id << "> termination recognized, stop normal.";
        // The body has returned; let the start routine's last instructions complete.
        WaitForSingleObject(hThread, 1000);
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
