#include "soak_support.h"
#include "pump.h"
#include "process.h"
#include "resource_counts.h"
#include "socket.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace soak {

namespace {

double Ms(LONGLONG ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(f.QuadPart);
}

LONGLONG Now()
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

// Counter ticks PumpUntil has spent waiting for messages on this thread.
thread_local LONGLONG t_IdleTicks = 0;

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CloseBox(HWND hWnd, LPARAM)
{
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    // Message boxes are the top-level dialogs with an owner; the test's own
    // dialogs have none.
    if (std::wstring(cls) == L"#32770" && GetWindow(hWnd, GW_OWNER) && IsWindowVisible(hWnd))
        PostMessageW(hWnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

} // namespace

int Scale()
{
    const char* text = std::getenv("QSM_SOAK_SCALE");
    const int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : 1;
}

std::wstring LanguageFolder()
{
    return qsmtest::ExeDir() + L"soak_language";
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    qsmtest::PumpOptions options;
    options.idleTicks = &t_IdleTicks;
    return qsmtest::PumpUntil(done, timeoutMs, options);
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

namespace {

struct CounterSlot {
    const char* volatile part;
    volatile LONG count;
};
CounterSlot g_Slots[4] = {};
void* g_hCounterHandler = nullptr;
int g_Counters = 0;

} // namespace

LineCounter::LineCounter(const char* part) : m_Slot(-1)
{
    for (int i = 0; i < 4 && m_Slot < 0; ++i)
        if (!g_Slots[i].part)
            m_Slot = i;
    if (m_Slot < 0)
        return;
    g_Slots[m_Slot].count = 0;
    g_Slots[m_Slot].part = part;
    if (g_Counters++ == 0)
        g_hCounterHandler = AddVectoredExceptionHandler(1, &LineCounter::Handler);
}

LineCounter::~LineCounter()
{
    if (m_Slot < 0)
        return;
    if (--g_Counters == 0)
        RemoveVectoredExceptionHandler(g_hCounterHandler);
    g_Slots[m_Slot].part = nullptr;
}

long LineCounter::Count() const
{
    return m_Slot < 0 ? -1 : InterlockedCompareExchange(&g_Slots[m_Slot].count, 0, 0);
}

LONG CALLBACK LineCounter::Handler(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != 0x40010006 || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    for (CounterSlot& slot : g_Slots) {
        const char* part = slot.part;
        if (part && text && std::strstr(text, part))
            InterlockedIncrement(&slot.count);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

Counts Take()
{
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&windows));
    return Counts{qsmtest::HandleCount(), qsmtest::ThreadCount(), windows, Socket::GetLiveCount()};
}

std::string Counts::Describe() const
{
    return "handles " + std::to_string(handles) + ", threads " + std::to_string(threads) + ", windows " +
           std::to_string(windows) + ", sockets " + std::to_string(sockets);
}

bool BackTo(const Counts& expected, DWORD timeoutMs)
{
    return PumpUntil([&] { return Take() == expected; }, timeoutMs);
}

Heartbeat::Heartbeat()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &Heartbeat::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"qsmsoak.Heartbeat";
    RegisterClassW(&wc);
    m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_Last = Now();
    m_IdleAtLast = t_IdleTicks;
    SetTimer(m_hWnd, 1, 10, nullptr);
}

Heartbeat::~Heartbeat()
{
    DestroyWindow(m_hWnd);
}

void Heartbeat::Stop()
{
    KillTimer(m_hWnd, 1);
}

void Heartbeat::Tick()
{
    const LONGLONG now = Now();
    const double gap = Ms(now - m_Last);
    const double blocked = Ms(now - m_Last - (t_IdleTicks - m_IdleAtLast));
    m_Last = now;
    m_IdleAtLast = t_IdleTicks;
    m_MaxGapMs = std::max(m_MaxGapMs, gap);
    m_MaxBlockedMs = std::max(m_MaxBlockedMs, blocked);
    ++m_Ticks;
    EnumThreadWindows(GetCurrentThreadId(), &CloseBox, 0);
}

LRESULT CALLBACK Heartbeat::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Heartbeat*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (msg == WM_TIMER && self) {
        self->Tick();
        return 0;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace soak
