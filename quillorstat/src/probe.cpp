#include "probe.h"
#include "errorrecord.h"
#include "messages.h"
#include "monitor.h"

using namespace mrvAPI;

namespace {

constexpr UINT kCycleDone = WM_APP + 1;
constexpr int kCyclesWanted = 2;
// A refused connect makes the worker start the language monitor; one more try follows.
constexpr int kMissesAllowed = 2;
const wchar_t* const kClassName = L"QuillorStatProbe";

bool RegisterProbeClass(WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

Probe::Probe(const mrvPrinter& printer) : m_Printer(printer)
{
    m_Report.name = printer.GetName();
    m_Report.port = printer.GetPort();
    m_Report.driver = printer.GetDriver();
}

Probe::~Probe()
{
    Finish();
}

bool Probe::Create(DWORD pauseMs)
{
    if (!RegisterProbeClass(&Probe::WindowProc))
        return false;
    m_hWnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                             nullptr);
    if (!m_hWnd)
        return false;
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pWorker = std::make_unique<mrvUpdate>(m_hWnd, &m_Printer, pauseMs);
    m_pWorker->SetLogBoxes(false);
    return true;
}

bool Probe::StartPolling(DWORD pauseMs)
{
    if (!Create(pauseMs))
        return false;
    m_pWorker->SetCycleMessage(kCycleDone);
    m_pWorker->SetActive(true);
    m_pWorker->Start(THREAD_PRIORITY_NORMAL);
    return true;
}

bool Probe::StartLogDownload(const std::wstring& path)
{
    if (!Create(0))
        return false;
    m_LogRequested = true;
    m_pWorker->SetLogFileName(path.c_str());
    m_pWorker->RequestLogDownload();
    m_pWorker->Start(THREAD_PRIORITY_NORMAL);
    return true;
}

void Probe::MarkUnfinished()
{
    if (!m_Done)
        m_Report.finished = false;
}

void Probe::RequestStop()
{
    if (m_pWorker)
        m_pWorker->RequestStop();
}

void Probe::Finish()
{
    if (m_pWorker) {
        m_pWorker->Stop(2000);
        // The worker tells its result with this message, also when the stop
        // landed after the file was in place.
        MSG msg;
        if (m_LogRequested && m_hWnd &&
            (m_Done || PeekMessageW(&msg, m_hWnd, mrvWM_LOG_DONE, mrvWM_LOG_DONE, PM_NOREMOVE)))
            m_LogResult = m_pWorker->GetLogResult();
        m_pWorker.reset();
    }
    if (!m_hWnd)
        return;
    // Texts posted but not handled belong to this window.
    MSG msg;
    while (PeekMessageW(&msg, m_hWnd, mrvWM_MAT_CODE, mrvWM_ERROR, PM_REMOVE))
        AdoptPostedText(msg.lParam);
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

LRESULT CALLBACK Probe::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA))) {
        if (message == kCycleDone || message == mrvWM_LOG_DONE ||
            (message >= mrvWM_STATUS && message <= mrvWM_ERROR)) {
            probe->OnMessage(message, wParam, lParam);
            return 0;
        }
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

void Probe::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_ptr<char[]> text;
    if (message >= mrvWM_MAT_CODE && message <= mrvWM_ERROR)
        text = AdoptPostedText(lParam);
    // A message that arrives after the run's end changes nothing.
    if (m_Done)
        return;
    switch (message) {
    case kCycleDone:
        if (wParam) {
            m_Report.connected = true;
            // The error reported earlier may have cleared since.
            m_Report.hasError = m_Report.hasError && lParam != 0;
        }
        // A cycle that lost its connection counts as missed.
        if (++(wParam ? m_Reached : m_Missed) >= (wParam ? kCyclesWanted : kMissesAllowed)) {
            m_Done = true;
            RequestStop();
        }
        return;
    case mrvWM_LOG_DONE:
        m_LogResult = m_pWorker ? m_pWorker->GetLogResult() : mrvLogResult::NoConnection;
        m_Done = true;
        RequestStop();
        return;
    case mrvWM_STATUS: m_Report.status = static_cast<UINT>(wParam); break;
    case mrvWM_INK_LEVEL: m_Report.ink = static_cast<UINT>(wParam); break;
    case mrvWM_UV_LAMP: m_Report.uv = static_cast<UINT>(wParam); break;
    case mrvWM_NUMBER: m_Report.number = static_cast<WORD>(wParam); break;
    case mrvWM_MAT_CODE:
        if (text)
            m_Report.materialCode = std::string(text.get());
        break;
    case mrvWM_PRINTJOB:
        if (text)
            m_Report.jobName = std::string(text.get());
        break;
    case mrvWM_ERROR: {
        ErrorRecord record;
        if (!text || !DecodeErrorRecord(text.get(), record))
            return;
        m_Report.hasError = true;
        m_Report.errorCode = record.code;
        m_Report.errorText.assign(record.text.begin(), record.text.end());
        break;
    }
    default: return;
    }
    m_Report.answered = true;
}

RunEnd RunProbes(const std::vector<std::unique_ptr<Probe>>& probes, ULONGLONG deadline, HANDLE hQuit)
{
    RunEnd end = RunEnd::Done;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        bool done = true;
        for (const auto& probe : probes)
            done = done && probe->IsDone();
        if (done)
            break;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            for (const auto& probe : probes)
                probe->MarkUnfinished();
            end = RunEnd::TimedOut;
            break;
        }
        const DWORD wait = static_cast<DWORD>(deadline - now);
        if (MsgWaitForMultipleObjects(1, &hQuit, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0) {
            end = RunEnd::Interrupted;
            break;
        }
    }
    return end;
}

void StopProbes(const std::vector<std::unique_ptr<Probe>>& probes)
{
    for (const auto& probe : probes)
        probe->RequestStop();
    for (const auto& probe : probes)
        probe->Finish();
}
