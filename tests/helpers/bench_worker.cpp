// Measures the update worker against the fake language monitor and prints medians:
// the time from an answer leaving the monitor to its message reaching the window,
// the worker thread's CPU time per polling cycle, and the time from the last log
// byte to the written log (its WM_USER+1 at the window). Not a test: run it by hand.
#include "fake_lm.h"
#include "messages.h"
#include "printer.h"
#include "registry_fixture.h"
#include "update.h"
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;

namespace {

LONGLONG Now()
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

double Ms(LONGLONG ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

// A message-only window that stamps each posted message when it is dispatched.
class StampWindow {
public:
    struct Arrival {
        UINT message;
        LONGLONG counter;
    };

    StampWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &StampWindow::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"qsmbench.StampWindow";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~StampWindow() { DestroyWindow(m_hWnd); }
    StampWindow(const StampWindow&) = delete;
    StampWindow& operator=(const StampWindow&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    std::vector<Arrival>& Arrivals() { return m_Arrivals; }

    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs)
    {
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            if (pred())
                return true;
            if (GetTickCount64() >= end)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        const LONGLONG stamp = Now();
        auto* self = reinterpret_cast<StampWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (!self || msg < WM_USER)
            return DefWindowProcW(hWnd, msg, wParam, lParam);
        if (msg == mrvWM_MAT_CODE || msg == mrvWM_PRINTJOB || msg == mrvWM_ERROR)
            AdoptPostedText(lParam);
        self->m_Arrivals.push_back(Arrival{msg, stamp});
        return 0;
    }

    HWND m_hWnd;
    std::vector<Arrival> m_Arrivals;
};

void AnswerPolling(FakeLanguageMonitor& lm)
{
    lm.OnCommand(5, LmReply::Answer(Bytes({0x85, 0x00})));
    lm.OnCommand(9, LmReply::Answer(Bytes({0x89, 0x00, 0x2C, 0x01})));
    lm.OnCommand(1, LmReply::Answer(Bytes({0x81, 0x00, 0x50})));
    lm.OnCommand(2, LmReply::Answer(Bytes({0x82, 0x00, 0x10})));
    lm.OnCommand(3, LmReply::Answer(Bytes({0x83, 0x00, 0x00})));
    lm.OnCommand(6, LmReply::Answer(Bytes({0x86, 0x00}) + "PLA"));
    lm.OnCommand(7, LmReply::Answer(Bytes({0x87, 0x00}) + "job"));
}

double ThreadCpuMs(HANDLE hThread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(hThread, &created, &exited, &kernel, &user))
        return -1;
    auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000.0;
    };
    return value(kernel) + value(user);
}

// Answer to window: the k-th ink message belongs to the k-th answer to command 1.
void MeasureLatency(FakeLanguageMonitor& lm, StampWindow& window, mrvUpdate& worker)
{
    window.Arrivals().clear();
    worker.SetActive(true);
    window.PumpUntil([] { return false; }, 4000);
    worker.SetActive(false);
    window.PumpUntil([] { return false; }, 200);

    std::vector<LONGLONG> sent;
    for (const auto& r : lm.ReplyTimes())
        if (r.command == 1)
            sent.push_back(r.counter);
    std::vector<LONGLONG> arrived;
    for (const auto& a : window.Arrivals())
        if (a.message == mrvWM_INK_LEVEL)
            arrived.push_back(a.counter);
    std::vector<double> latencies;
    for (size_t i = 0; i < sent.size() && i < arrived.size(); ++i)
        latencies.push_back(Ms(arrived[i] - sent[i]));
    std::printf("answer to window message: median %.3f ms, 90th percentile %.3f ms (%zu answers)\n",
                Median(latencies), Percentile(latencies, 0.9), latencies.size());
}

void MeasureCycleCpu(FakeLanguageMonitor& lm, StampWindow& window, mrvUpdate& worker, DWORD cycleMs)
{
    HANDLE hThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, worker.GetThreadId());
    if (!hThread) {
        std::printf("cycle CPU: OpenThread failed (%lu)\n", GetLastError());
        return;
    }
    worker.SetActive(true);
    window.PumpUntil([&] { return lm.CountCommand(5) >= 3; }, 3000);
    std::vector<double> perCycle, exchangeMs;
    for (int run = 0; run < 5; ++run) {
        const size_t cycles0 = lm.CountCommand(5);
        const double cpu0 = ThreadCpuMs(hThread);
        const LONGLONG t0 = Now();
        window.PumpUntil([] { return false; }, 2000);
        const size_t cycles = lm.CountCommand(5) - cycles0;
        const double wall = Ms(Now() - t0);
        const double cpu = ThreadCpuMs(hThread) - cpu0;
        if (cycles) {
            perCycle.push_back(cpu / static_cast<double>(cycles));
            exchangeMs.push_back(wall / static_cast<double>(cycles) - cycleMs);
        }
    }
    worker.SetActive(false);
    window.PumpUntil([] { return false; }, 200);
    CloseHandle(hThread);
    std::printf("polling cycle (7 exchanges): worker CPU median %.3f ms per cycle, wall time besides the pause "
                "%.3f ms (5 runs of 2 s)\n",
                Median(perCycle), Median(exchangeMs));
}

void MeasureLogWrite(FakeLanguageMonitor& lm, StampWindow& window, mrvUpdate& worker)
{
    std::string body;
    for (size_t i = 0; body.size() < 326654; ++i)
        body += static_cast<char>(i % 251);
    const std::string header = Bytes({0x84, 0x00});
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"qsm-bench.log";
    worker.SetLogFileName(path.c_str());

    std::vector<double> times;
    for (int run = 0; run < 11; ++run) {
        window.Arrivals().clear();
        lm.Queue(4, LmReply()
                        .Then(0, header + body.substr(0, 100000))
                        .Then(20, body.substr(100000, 100000))
                        .Then(20, body.substr(200000, 100000))
                        .Then(20, body.substr(300000)));
        worker.RequestLogDownload();
        if (!window.PumpUntil(
                [&] {
                    for (const auto& a : window.Arrivals())
                        if (a.message == mrvWM_LOG_DONE)
                            return true;
                    return false;
                },
                10000)) {
            std::printf("log: no WM_USER+1\n");
            return;
        }
        LONGLONG lastByte = 0;
        for (const auto& r : lm.ReplyTimes())
            if (r.command == 4)
                lastByte = r.counter;
        for (const auto& a : window.Arrivals())
            if (a.message == mrvWM_LOG_DONE)
                times.push_back(Ms(a.counter - lastByte));
    }
    DeleteFileW(path.c_str());
    std::printf("326,656-byte log: last byte to WM_USER+1 (file written and closed) median %.3f ms, "
                "90th percentile %.3f ms (%zu downloads)\n",
                Median(times), Percentile(times, 0.9), times.size());
}

} // namespace

int main()
{
    const DWORD cycleMs = 20;
    FakeLanguageMonitor lm;
    qsmtest::RegistryFixture registry;
    registry.SetTcpPort(lm.Port());
    AnswerPolling(lm);
    StampWindow window;
    mrvAPI::mrvPrinter printer(L"Quillor Bench", L"USB001", L"Quillor Driver");
    mrvUpdate worker(window.Hwnd(), &printer, cycleMs);
    worker.Start(0);

    MeasureLatency(lm, window, worker);
    MeasureCycleCpu(lm, window, worker, cycleMs);
    MeasureLogWrite(lm, window, worker);

    worker.Stop(1000);
    return 0;
}
