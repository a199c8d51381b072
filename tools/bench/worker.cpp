// One update worker alone: the log download (4) and the stop (5).
#include "floor.h"
#include "items.h"
#include "measure.h"
#include "messages.h"
#include "update.h"
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace bench {

namespace {

// Debugger-output lines with the time they were written. The handler lets the
// exception go on, so the product's own path stays as it is.
class DebugStamps {
public:
    struct Line {
        LONGLONG at;
        std::string text;
    };
    DebugStamps() : m_hHandler(AddVectoredExceptionHandler(1, &DebugStamps::Handler)) { s_pSelf = this; }
    ~DebugStamps()
    {
        RemoveVectoredExceptionHandler(m_hHandler);
        s_pSelf = nullptr;
    }
    DebugStamps(const DebugStamps&) = delete;
    DebugStamps& operator=(const DebugStamps&) = delete;

    std::vector<Line> Take()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::vector<Line> lines;
        lines.swap(m_Lines);
        return lines;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode == 0x40010006 && record->NumberParameters >= 2 && s_pSelf) {
            const LONGLONG at = Now();
            std::lock_guard<std::mutex> lock(s_pSelf->m_Mutex);
            s_pSelf->m_Lines.push_back(Line{at, reinterpret_cast<const char*>(record->ExceptionInformation[1])});
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static DebugStamps* s_pSelf;
    void* m_hHandler;
    std::mutex m_Mutex;
    std::vector<Line> m_Lines;
};

DebugStamps* DebugStamps::s_pSelf = nullptr;

// A message-only window that stamps the end of a log request.
class LogDoneWindow {
public:
    LogDoneWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &LogDoneWindow::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"qsmbench.LogDone";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    ~LogDoneWindow() { DestroyWindow(m_hWnd); }
    LogDoneWindow(const LogDoneWindow&) = delete;
    LogDoneWindow& operator=(const LogDoneWindow&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    static LONGLONG s_Done;

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == mrvWM_LOG_DONE)
            s_Done = Now();
        else if (msg == mrvWM_MAT_CODE || msg == mrvWM_PRINTJOB || msg == mrvWM_ERROR)
            AdoptPostedText(lParam);
        return msg >= WM_USER ? 0 : DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    HWND m_hWnd;
};

LONGLONG LogDoneWindow::s_Done = 0;

LONGLONG StampOf(const std::vector<DebugStamps::Line>& lines, const std::string& prefix)
{
    for (const auto& line : lines)
        if (line.text.compare(0, prefix.size(), prefix) == 0)
            return line.at;
    return 0;
}

LONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<LONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void MeasureLog(Answerer& answerer, const Settings& settings, LogDoneWindow& window, DebugStamps& stamps,
                Report& report)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"qsm-bench.log";
    mrvUpdate worker(window.Hwnd(), nullptr, 20);
    worker.SetLogFileName(path.c_str());
    worker.Start(THREAD_PRIORITY_NORMAL);

    std::vector<double> total, received, written;
    int wrongSize = 0;
    for (int run = 0; run < settings.runs; ++run) {
        DeleteFileW(path.c_str());
        LogDoneWindow::s_Done = 0;
        stamps.Take();
        worker.RequestLogDownload();
        if (!PumpUntil([] { return LogDoneWindow::s_Done != 0; }, 20000))
            throw std::runtime_error("log: no end report from the worker");
        const LONGLONG lastByte = answerer.LastLogSent();
        const LONGLONG complete = StampOf(stamps.Take(), "LANG__ReadFromLANPrinter SaveLog Size");
        total.push_back(Ms(LogDoneWindow::s_Done - lastByte));
        received.push_back(Ms(complete - lastByte));
        written.push_back(Ms(LogDoneWindow::s_Done - complete));
        if (FileSize(path) != Answerer::kLogAnswerBytes - 2)
            ++wrongSize;
    }
    worker.Stop(1000);
    DeleteFileW(path.c_str());

    // The floor: the same answer read by a bare loop in receives of 1024 bytes
    // (the product's chunk) and of 64 KiB.
    std::vector<double> floor1k, floor64k;
    FloorClient floor(answerer.Port());
    const std::string request{4, 0};
    for (int run = 0; run < settings.runs; ++run) {
        floor1k.push_back(Ms(floor.ReadAll(request, Answerer::kLogAnswerBytes, 1024) - answerer.LastLogSent()));
        floor64k.push_back(Ms(floor.ReadAll(request, Answerer::kLogAnswerBytes, 65536) - answerer.LastLogSent()));
    }
    const char* item = "4 log";
    report.Add(item, "floor: last byte sent to read, 1024-byte receives", "ms", floor1k);
    report.Add(item, "floor: last byte sent to read, 64 KiB receives", "ms", floor64k);
    report.Add(item, "last byte sent to answer complete", "ms", received);
    report.Add(item, "answer complete to file closed + WM_USER+1", "ms", written);
    report.Add(item, "last byte sent to closed file (WM_USER+1)", "ms", total, "p95 <= 20",
               Percentile(total, 0.95) <= 20);
    if (wrongSize)
        report.Note("log: " + std::to_string(wrongSize) + " files did not hold the whole log");
}

// Stop(1000) of a worker that is in its pause (stalled = false, long update time)
// or inside an exchange with an answerer that never answers.
std::vector<double> MeasureStop(Answerer& answerer, const Settings& settings, LogDoneWindow& window,
                                DebugStamps& stamps, bool stalled, int& abnormal)
{
    std::vector<double> times;
    answerer.SetStalled(stalled);
    unsigned seed = 777;
    for (int run = 0; run < settings.runs; ++run) {
        mrvUpdate worker(window.Hwnd(), nullptr, stalled ? settings.updateTime : 10000);
        worker.Start(THREAD_PRIORITY_NORMAL);
        const long requests = answerer.Requests();
        worker.SetActive(true);
        // Paused: after the first cycle's nine or ten requests. Stalled: somewhere
        // inside the wait for the first answer (1 s).
        if (!PumpUntil([&] { return answerer.Requests() >= requests + (stalled ? 1 : 9); }, 5000))
            throw std::runtime_error("stop: the worker sends no request");
        seed = seed * 1103515245u + 12345u;
        PumpFor(stalled ? 50 + (seed >> 8) % 800 : 100);
        stamps.Take();
        const LONGLONG t0 = Now();
        worker.Stop(1000);
        times.push_back(MsSince(t0));
        const auto lines = stamps.Take();
        const std::string last = lines.empty() ? std::string() : lines.back().text;
        bool normal = false;
        for (const auto& line : lines)
            normal = normal || line.text.find("termination recognized, stop normal.") != std::string::npos;
        if (!normal || last.find("does not end") != std::string::npos)
            ++abnormal;
    }
    answerer.SetStalled(false);
    return times;
}

} // namespace

void MeasureWorker(Answerer& answerer, const Settings& settings, Report& report)
{
    LogDoneWindow window;
    DebugStamps stamps;
    MeasureLog(answerer, settings, window, stamps, report);

    int abnormal = 0;
    const std::vector<double> pausing = MeasureStop(answerer, settings, window, stamps, false, abnormal);
    const std::vector<double> stalled = MeasureStop(answerer, settings, window, stamps, true, abnormal);
    const char* item = "5 stop";
    report.Add(item, "Stop(1000) while pausing (update time 10 s)", "ms", pausing, "p95 <= 150",
               Percentile(pausing, 0.95) <= 150);
    report.Add(item, "Stop(1000) while waiting on a stalled answerer", "ms", stalled, "p95 <= 150",
               Percentile(stalled, 0.95) <= 150);
    report.Add(item, "stops not ending \"... stop normal.\"", "",
               {static_cast<double>(abnormal)}, "0", abnormal == 0);
}

} // namespace bench
