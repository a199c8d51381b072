#include "update.h"
#include "handle.h"
#include "answer.h"
#include "debug.h"
#include "dialog.h"
#include "messages.h"
#include "printer.h"
#include "printerstate.h"
#include "settings.h"
#include "socket.h"
#include <cstring>
#include <cwchar>
#include <exception>

using namespace mrvAPI;

static_assert(mrvMSG_STATUS == mrvWM_STATUS, "answer.h and messages.h disagree");
static_assert(mrvMSG_INK_LEVEL == mrvWM_INK_LEVEL, "answer.h and messages.h disagree");
static_assert(mrvMSG_UV_LAMP == mrvWM_UV_LAMP, "answer.h and messages.h disagree");
static_assert(mrvMSG_NUMBER == mrvWM_NUMBER, "answer.h and messages.h disagree");
static_assert(mrvMSG_MAT_CODE == mrvWM_MAT_CODE, "answer.h and messages.h disagree");
static_assert(mrvMSG_PRINTJOB == mrvWM_PRINTJOB, "answer.h and messages.h disagree");
static_assert(mrvMSG_ERROR == mrvWM_ERROR, "answer.h and messages.h disagree");

namespace {

constexpr int32_t kStatusTimeoutMs = 1000;
constexpr BYTE kCmdNumber = 9;
constexpr BYTE kPolledChain[] = {1, 2, 3, 6, 7};
// A monitor that does not come up is asked to start no more often than this: each
// attempt opens the printer through the spooler.
constexpr ULONGLONG kMonitorStartIntervalMs = 10000;

// The worker whose box this thread is about to show.
thread_local mrvUpdate* t_BoxOwner = nullptr;

} // namespace

mrvUpdate::mrvUpdate(mrvDialog* pOwner, mrvPrinter* pPrinter, DWORD updateTime)
    : mrvThread("LMUpdate"), m_IPCAccess("IPCAccess"), m_pOwner(pOwner), m_hOwner(nullptr), m_pPrinter(pPrinter),
      m_UpdateTime(updateTime), m_MaterialCode(), m_PrintJob(), m_ErrorText(), m_RequestLock("UpdateRequests"),
      m_Active(false), m_LogRequested(false), m_LogFileName(), m_pWake(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

mrvUpdate::mrvUpdate(HWND hOwner, mrvPrinter* pPrinter, DWORD updateTime)
    : mrvUpdate(static_cast<mrvDialog*>(nullptr), pPrinter, updateTime)
{
    m_hOwner = hOwner;
}

mrvUpdate::~mrvUpdate()
{
    // The cycle uses the connection and the buffers: end it before they go.
    Stop(3000);
    if (m_pConnection && m_pConnection->Close() != 0)
        DebugOut("mrvUpdate::~mrvUpdate close socekt failed!");
    m_pConnection.reset();
}

HWND mrvUpdate::GetOwnerWindow() const
{
    return m_pOwner ? m_pOwner->GetHwnd() : m_hOwner;
}

void mrvUpdate::SetActive(bool active)
{
    // A printer on a serial port is never polled.
    if (m_pPrinter && m_pPrinter->GetPort().compare(0, 3, L"COM") == 0)
        return;
    mrvLock lock(&m_RequestLock);
    m_Active = active;
    if (active && m_pWake)
        SetEvent(m_pWake.get());
}

void mrvUpdate::SetLogFileName(const wchar_t* path)
{
    mrvLock lock(&m_RequestLock);
    if (!path)
        path = L"";
    wcsncpy(m_LogFileName, path, MAX_PATH - 1);
    m_LogFileName[MAX_PATH - 1] = L'\0';
}

void mrvUpdate::RequestLogDownload()
{
    mrvLock lock(&m_RequestLock);
    m_LogRequested = true;
    if (m_pWake)
        SetEvent(m_pWake.get());
}

std::string mrvUpdate::BuildRequest(BYTE command, UINT index, const std::string& payload)
{
    std::string request;
    request.reserve(2 + payload.size());
    request += static_cast<char>(command);
    request += static_cast<char>(index & 0xFF);
    request += payload;
    return request;
}

bool mrvUpdate::OpenConnection(DWORD port)
{
    std::unique_ptr<SocketAPI> connection(new SocketAPI());
    connection->SetCancelEvent(GetStopEvent());
    if (!connection->Connect(port))
        return false;
    m_pConnection = std::move(connection);
    return true;
}

void mrvUpdate::ReleaseConnection()
{
    // Releasing closes the handle.
    m_pConnection.reset();
}

bool mrvUpdate::SendRequest(BYTE command, UINT index, const std::string& payload)
{
    if (!m_pConnection || m_pConnection->HasError())
        return false;
    const std::string answer =
        m_pConnection->SocketRequestData(BuildRequest(command, index, payload), kStatusTimeoutMs, 0);
    if (m_pConnection->HasError()) {
        DebugOut("SOCKET_API: Connection closed.");
        if (m_pConnection->Close() != 0)
            DebugOut("SOCKET_API: Connection socket close failed.");
        m_pConnection.reset();
        return false;
    }
    if (answer.empty())
        return false;

    const mrvAnswer decoded = DecodeAnswer(answer);
    if (!decoded.debugLine.empty())
        DebugOut(decoded.debugLine.c_str());
    if (decoded.post == mrvAnswer::Post::Number)
        PostNumber(decoded.message, decoded.wParam);
    else if (decoded.post == mrvAnswer::Post::Text)
        PostBufferText(decoded.message, BufferFor(decoded.message), decoded.text);
    return decoded.succeeded;
}

char* mrvUpdate::BufferFor(UINT message)
{
    if (message == mrvWM_MAT_CODE)
        return m_MaterialCode;
    if (message == mrvWM_PRINTJOB)
        return m_PrintJob;
    return m_ErrorText;
}

void mrvUpdate::PostNumber(UINT message, WPARAM value)
{
    PostMessageW(GetOwnerWindow(), message, value, 0);
}

void mrvUpdate::PostBufferText(UINT message, char* buffer, const std::string& text)
{
    const size_t length = text.size() < mrvTEXT_BUFFER ? text.size() : mrvTEXT_BUFFER - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    // The window gets its own copy: the next answer may refill the buffer first.
    PostText(GetOwnerWindow(), message, buffer);
}

UINT mrvUpdate::GetPrinterIndex() const
{
    return m_pPrinter ? mrvPrinter::IndexOf(*m_pPrinter) : mrvPrinter::GetCount();
}

mrvUpdate::Requests mrvUpdate::TakeRequests()
{
    mrvLock lock(&m_RequestLock);
    const Requests requests{m_Active, m_LogRequested};
    m_LogRequested = false;
    return requests;
}

DWORD mrvUpdate::ThreadProc()
{
    m_LastError.clear();
    bool numberReceived = false;
    while (!IsStopRequested()) {
        try {
            if (Cycle(numberReceived))
                break;
            continue;
        } catch (const std::exception& e) {
            // Out of memory or the like: this cycle is lost, the worker goes on.
            mrvDebugLine() << "mrvUpdate::ThreadProc exception: " << e.what();
        } catch (...) {
            mrvDebugLine() << "mrvUpdate::ThreadProc exception.";
        }
        // A lost cycle still pauses like any other.
        if (WaitForStop(m_UpdateTime))
            break;
    }
    return 0;
}

bool mrvUpdate::Cycle(bool& numberReceived)
{
    const Requests requests = TakeRequests();
    struct LogDone {
        // The window stays busy until it hears of the end, whatever happens here.
        mrvUpdate& worker;
        bool pending;
        ~LogDone()
        {
            if (pending)
                worker.FinishLog(mrvLogResult::Stopped);
        }
    } logDone{*this, requests.logRequested};
    try {
        if (!requests.active) {
            ReleaseConnection();
            numberReceived = false;
        }
        // A connection broken by the state check or a download is not polled again:
        // reconnect instead of leaving the window without status.
        if (m_pConnection && m_pConnection->HasError())
            DropBrokenConnection();
        if (!m_pConnection && (requests.active || requests.logRequested))
            ConnectToMonitor();
        if (IsStopRequested())
            return true;
        {
            mrvLock lock(&m_IPCAccess);
            if (requests.logRequested) {
                logDone.pending = false;
                HandleLogRequest();
            }
            if (m_pConnection && requests.active)
                Poll(numberReceived);
        }
    } catch (...) {
        // Whatever the connection was in the middle of, it is not to be trusted.
        ReleaseConnection();
        numberReceived = false;
        throw;
    }
    return Pause();
}

bool mrvUpdate::Pause()
{
    if (m_CycleMessage)
        PostMessageW(GetOwnerWindow(), m_CycleMessage, m_pConnection ? 1 : 0, m_LastError.empty() ? 0 : 1);
    bool wanted;
    {
        mrvLock lock(&m_RequestLock);
        wanted = m_Active || m_LogRequested;
    }
    // A hidden window with nothing pending leaves nothing to do until the window
    // wants something: sleep until then rather than wake every update time.
    HANDLE handles[] = {GetStopEvent(), m_pWake.get()};
    if (!m_pConnection && !wanted && handles[0] && handles[1])
        return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
    return WaitForStop(m_UpdateTime);
}

void mrvUpdate::ConnectToMonitor()
{
    DWORD port = 0;
    bool connected = false;
    // Without a port there is nothing to connect to: the same as a refused connect.
    if (mrvSettings::ReadTcpPort(port)) {
        try {
            connected = OpenConnection(port);
        } catch (const char* text) {
            mrvDebugLine() << "mrvUpdate::ThreadProc: " << text;
        } catch (...) {
            mrvDebugLine() << "mrvUpdate::ThreadProc: connection not created";
        }
    }
    // A connect cut short by a stop is no failure, and the spooler and the driver
    // that the start would call into could hold the stop up.
    if (connected || IsStopRequested())
        return;
    mrvDebugLine() << "mrvUpdate::ThreadProc: Connection failed, try to start language monitor.";
    StartLanguageMonitor();
}

void mrvUpdate::StartLanguageMonitor()
{
    // Opening the printer makes the spooler load the driver's language monitor.
    if (!m_pPrinter || mrvPrinter::GetCount() == 0)
        return;
    const ULONGLONG now = GetTickCount64();
    if (m_MonitorStartTick && now - m_MonitorStartTick < kMonitorStartIntervalMs)
        return;
    m_MonitorStartTick = now;
    try {
        mrvPrinter printer(*m_pPrinter);
        printer.Open();
        // Writing the settings back would announce them to every window on the
        // desktop, and wait on each: the open alone is what starts the monitor.
        printer.CloseQuietly();
    } catch (...) {
        mrvDebugLine() << "mrvUpdate::ThreadProc";
    }
}

void mrvUpdate::DropBrokenConnection()
{
    DebugOut("SOCKET_API: Connection closed.");
    if (m_pConnection->Close() != 0)
        DebugOut("SOCKET_API: Connection socket close failed.");
    m_pConnection.reset();
}

void mrvUpdate::HandleLogRequest()
{
    mrvLogResult result = mrvLogResult::Stopped;
    bool reported = false; // SaveLog shows its own box
    if (m_pConnection) {
        try {
            result = SaveLog();
            reported = true;
        } catch (const std::exception& e) {
            mrvDebugLine() << "mrvUpdate::ThreadProc exception: " << e.what();
            ReleaseConnection();
            result = mrvLogResult::NoLog;
        } catch (...) {
            mrvDebugLine() << "mrvUpdate::ThreadProc exception.";
            ReleaseConnection();
            result = mrvLogResult::NoLog;
        }
    } else if (!IsStopRequested()) {
        result = mrvLogResult::NoConnection;
    }
    if (!reported && m_LogBoxes)
        ErrorBox(LogResultText(result));
    FinishLog(result);
}

void mrvUpdate::FinishLog(mrvLogResult result)
{
    {
        mrvLock lock(&m_RequestLock);
        m_LogResult = result;
    }
    PostMessageW(GetOwnerWindow(), mrvWM_LOG_DONE, 0, 0);
}

void mrvUpdate::ErrorBox(const wchar_t* text)
{
    if (!*text || IsStopRequested())
        return;
    // The box's window is caught as it is created, so that a stop asked for at any
    // moment from here on finds it; a worker held by its box could only be killed.
    t_BoxOwner = this;
    HHOOK hook = SetWindowsHookExW(WH_CBT, &mrvUpdate::BoxHook, nullptr, GetCurrentThreadId());
    MessageBoxW(nullptr, text, L"Error", MB_ICONEXCLAMATION | MB_OK);
    if (hook)
        UnhookWindowsHookEx(hook);
    t_BoxOwner = nullptr;
    mrvLock lock(&m_RequestLock);
    m_hBox = nullptr;
}

LRESULT CALLBACK mrvUpdate::BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_BoxOwner) {
        const HWND hWnd = reinterpret_cast<HWND>(wParam);
        wchar_t name[8] = {};
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (!create->lpcs->hwndParent && GetClassNameW(hWnd, name, ARRAYSIZE(name)) && !wcscmp(name, L"#32770"))
            t_BoxOwner->BoxCreated(hWnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void mrvUpdate::BoxCreated(HWND hBox)
{
    mrvLock lock(&m_RequestLock);
    if (m_hBox)
        return;
    m_hBox = hBox;
    // The request may have come between the check before the box and now.
    if (IsStopRequested())
        PostMessageW(hBox, WM_COMMAND, IDOK, 0);
}

void mrvUpdate::OnStopRequested()
{
    mrvLock lock(&m_RequestLock);
    if (m_hBox)
        PostMessageW(m_hBox, WM_COMMAND, IDOK, 0);
}

mrvLogResult mrvUpdate::GetLogResult()
{
    mrvLock lock(&m_RequestLock);
    return m_LogResult;
}

void mrvUpdate::Poll(bool& numberReceived)
{
    const UINT index = GetPrinterIndex();
    CheckPrinterState(index);
    if (!numberReceived)
        numberReceived = SendRequest(kCmdNumber, index);
    for (BYTE command : kPolledChain)
        if (!SendRequest(command, index))
            break;
}

void mrvUpdate::CheckPrinterState(UINT index)
{
    SocketAPI* connection = m_pConnection.get();
    if (!connection)
        return;
    const mrvExchange exchange = [connection, index](uint8_t command) {
        return connection->SocketRequestData(BuildRequest(command, index), kStatusTimeoutMs, 0);
    };
    const mrvLineSink debugOut = [](const std::string& line) { DebugOut(line.c_str()); };
    std::string record;
    if (RunPrinterStateCheck(m_LastError, m_LastJobId, GetCurrentThreadId(), exchange, debugOut, record))
        PostBufferText(mrvWM_ERROR, m_ErrorText, record);
}

mrvLogResult mrvUpdate::SaveLog()
{
    if (!m_pConnection)
        return mrvLogResult::NoConnection;
    std::wstring path;
    {
        mrvLock lock(&m_RequestLock);
        path = m_LogFileName;
    }
    // A stop cuts the download short: neither a file nor a box that would hold the stop up.
    const mrvLogResult result =
        DownloadLog(*m_pConnection, GetPrinterIndex(), path, [this] { return WaitForStop(0); });
    if (m_LogBoxes)
        ErrorBox(LogResultText(result));
    return result;
}
