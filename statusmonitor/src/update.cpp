#include "update.h"
#include "answer.h"
#include "debug.h"
#include "dialog.h"
#include "messages.h"
#include "printer.h"
#include "socket.h"
#include <cstring>
#include <cwchar>

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
}

mrvUpdate::mrvUpdate(mrvDialog* pOwner, mrvPrinter* pPrinter, DWORD updateTime)
    : mrvThread("LMUpdate"), m_IPCAccess("IPCAccess"), m_pOwner(pOwner), m_hOwner(nullptr), m_pPrinter(pPrinter),
      m_UpdateTime(updateTime), m_MaterialCode(), m_PrintJob(), m_ErrorText(), m_RequestLock("UpdateRequests"),
      m_Active(false), m_LogRequested(false), m_LogFileName()
{
}

mrvUpdate::mrvUpdate(HWND hOwner, mrvPrinter* pPrinter, DWORD updateTime) : mrvUpdate(static_cast<mrvDialog*>(nullptr), pPrinter, updateTime)
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
    m_pConnection.reset();
}

bool mrvUpdate::SendRequest(BYTE command, UINT index, const std::string& payload)
{
    if (!m_pConnection || m_pConnection->HasError())
        return false;
    const std::string answer = m_pConnection->SocketRequestData(BuildRequest(command, index, payload), kStatusTimeoutMs, 0);
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

DWORD mrvUpdate::ThreadProc()
{
    while (!WaitForStop(m_UpdateTime)) {
    }
    return 0;
}
