#pragma once
#include "lock.h"
#include "logfile.h"
#include "thread.h"
#include "win.h"
#include <memory>
#include <string>

class SocketAPI;
namespace mrvAPI {
class mrvDialog;
class mrvPrinter;
} // namespace mrvAPI

// Keeps one printer's status window current: polls the driver's language
// monitor while the window is shown and posts what it learns to the window.
class mrvUpdate : public mrvAPI::mrvThread {
public:
    mrvUpdate(mrvAPI::mrvDialog* pOwner, mrvAPI::mrvPrinter* pPrinter, DWORD updateTime);
    // For an owner that is a plain window.
    mrvUpdate(HWND hOwner, mrvAPI::mrvPrinter* pPrinter, DWORD updateTime);
    ~mrvUpdate() override;

    // These return at once; the worker picks the values up at its next cycle.
    void SetActive(bool active);
    void SetLogFileName(const wchar_t* path);
    void RequestLogDownload();
    // The outcome of the last log request, valid once WM_USER+1 has arrived.
    mrvLogResult GetLogResult();
    // Set before Start. Without boxes an owner reports log failures itself.
    void SetLogBoxes(bool show) { m_LogBoxes = show; }
    // Set before Start. After every cycle the owner gets this message: wParam 1
    // while connected to the language monitor, lParam 1 while the last reported
    // printer error stands (it is not reported again until it has cleared).
    void SetCycleMessage(UINT message) { m_CycleMessage = message; }

    static std::string BuildRequest(BYTE command, UINT index, const std::string& payload = std::string());
    // A polled request; true when an answer came and was handled.
    bool SendRequest(BYTE command, UINT index, const std::string& payload = std::string());
    // The job and error check; posts a newly detected printer error.
    void CheckPrinterState(UINT index);
    // Fetches the printer's log into the log file (message boxes on failure).
    mrvLogResult SaveLog();

protected:
    DWORD ThreadProc() override;
    void OnStopRequested() override;

    bool OpenConnection(DWORD port);
    void ReleaseConnection();
    SocketAPI* GetConnection() const { return m_pConnection.get(); }

private:
    struct Requests {
        bool active;
        bool logRequested;
    };
    Requests TakeRequests();
    bool Cycle(bool& numberReceived); // true when a stop is requested
    bool Pause(); // true when a stop is requested
    void ConnectToMonitor();
    void StartLanguageMonitor();
    void DropBrokenConnection();
    void HandleLogRequest();
    // Records the result of a log request and tells the window that it has ended.
    void FinishLog(mrvLogResult result);
    void Poll(bool& numberReceived);
    UINT GetPrinterIndex() const;
    HWND GetOwnerWindow() const;
    void PostNumber(UINT message, WPARAM value);
    void PostBufferText(UINT message, char* buffer, const std::string& text);
    char* BufferFor(UINT message);
    // The worker's own error box, closed again when the worker is asked to stop.
    void ErrorBox(const wchar_t* text);
    static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam);
    void BoxCreated(HWND hBox);

    std::unique_ptr<SocketAPI> m_pConnection;
    mrvAPI::mrvCriticalSection m_IPCAccess;
    mrvAPI::mrvDialog* m_pOwner;
    HWND m_hOwner;
    mrvAPI::mrvPrinter* m_pPrinter;
    DWORD m_UpdateTime;
    char m_MaterialCode[1024];
    char m_PrintJob[1024];
    char m_ErrorText[1024];
    // Guards the requests from the window (the two flags and the file name) only,
    // so the window never waits for an exchange.
    mrvAPI::mrvCriticalSection m_RequestLock;
    bool m_Active;
    bool m_LogRequested;
    wchar_t m_LogFileName[MAX_PATH];
    struct EventCloser {
        void operator()(HANDLE h) const { CloseHandle(h); }
    };
    // Auto-reset: set when the window wants polling or a log.
    std::unique_ptr<void, EventCloser> m_pWake;
    std::string m_LastError;
    std::string m_LastJobId;
    // When the spooler was last asked to start the language monitor; 0: never.
    ULONGLONG m_MonitorStartTick = 0;
    mrvLogResult m_LogResult = mrvLogResult::Stopped;
    bool m_LogBoxes = true;
    HWND m_hBox = nullptr; // under m_RequestLock
    UINT m_CycleMessage = 0;
};
