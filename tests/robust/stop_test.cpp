// A language monitor that cannot be reached: no desktop-wide broadcasts, and the
// workers end normally and at once on exit, however many windows there are.
#include "robust.h"
#include "pump.h"
#include "printer.h"
#include "trydlg.h"
#include "update.h"
#include <memory>
#include <vector>

using qsmtest::PumpFor;
using qsmtest::PumpUntil;

namespace {

int g_Broadcasts = 0;

LRESULT CALLBACK CountingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DEVMODECHANGE)
        ++g_Broadcasts;
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// Another program's top-level window, as far as a broadcast can tell.
class BystanderWindow {
public:
    BystanderWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &CountingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"RobustBystander";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowW(L"RobustBystander", L"bystander", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                               wc.hInstance, nullptr);
        g_Broadcasts = 0;
    }
    ~BystanderWindow() { DestroyWindow(m_hWnd); }

private:
    HWND m_hWnd;
};

const char* const kNormal = "termination recognized, stop normal.";
const char* const kForced = "does not end, terminate thread.";

using MonitorDown = robust::Robust;

TEST_F(MonitorDown, ExitEndsEveryWorkerNormallyWithinASecondAndNothingIsBroadcast)
{
    const DWORD watchMs = robust::Seconds(3) * 1000;
    struct Case {
        int windows;
    };
    for (const Case& c : {Case{1}, Case{8}}) {
        SCOPED_TRACE(c.windows);
        InstallNumbered(c.windows);
        ASSERT_EQ(mrvAPI::mrvPrinter::GetCount(), static_cast<UINT>(c.windows));
        BystanderWindow bystander;
        std::unique_ptr<mrvTryDialog> tray(new mrvTryDialog());
        tray->Create(GetModuleHandleW(nullptr), 101, -1, 0);
        tray->Hide();
        tray->ShowAll();
        // Every worker has failed to connect at least twice.
        ASSERT_TRUE(PumpUntil(
            [&] {
                return m_Debug.CountContaining("Connection failed, try to start language monitor.") >=
                       static_cast<size_t>(2 * c.windows);
            },
            20000));
        PumpFor(watchMs);
        const int broadcasts = g_Broadcasts;
        m_Debug.Clear();
        const double start = robust::NowMs();
        tray.reset();
        const double exitMs = robust::NowMs() - start;
        std::printf("[ figures ] %d window(s): %d WM_DEVMODECHANGE in %lu ms, exit %.0f ms, %zu normal, %zu forced\n",
                    c.windows, broadcasts, watchMs, exitMs, m_Debug.CountContaining(kNormal),
                    m_Debug.CountContaining(kForced));
        EXPECT_EQ(broadcasts, 0);
        EXPECT_LT(exitMs, 1000.0);
        EXPECT_EQ(m_Debug.CountContaining(kNormal), static_cast<size_t>(c.windows));
        EXPECT_EQ(m_Debug.CountContaining(kForced), 0u);
    }
}

// A listener whose backlog is full: a connect to it neither succeeds nor fails.
class FullListener {
public:
    FullListener()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_Listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_Listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_Listener, 1);
        int length = sizeof address;
        getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_Port = ntohs(address.sin_port);
        // Fill the queue until a connect stays pending.
        for (int i = 0; i < 16; ++i) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_Clients.push_back(s);
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(s, &writable);
            timeval wait = {0, 300000};
            if (select(0, nullptr, &writable, nullptr, &wait) == 0) {
                m_Held = true;
                break;
            }
        }
    }
    ~FullListener()
    {
        for (SOCKET s : m_Clients)
            closesocket(s);
        closesocket(m_Listener);
        WSACleanup();
    }
    DWORD Port() const { return m_Port; }
    bool Held() const { return m_Held; }

private:
    SOCKET m_Listener;
    std::vector<SOCKET> m_Clients;
    DWORD m_Port = 0;
    bool m_Held = false;
};

TEST_F(MonitorDown, AConnectThatDoesNotCompleteEndsAtOnceOnStop)
{
    FullListener listener;
    ASSERT_TRUE(listener.Held());
    m_Registry.SetTcpPort(listener.Port());
    mrvUpdate worker(static_cast<HWND>(nullptr), nullptr, 200);
    worker.SetActive(true);
    worker.Start(THREAD_PRIORITY_NORMAL);
    // The first cycle connects at once; give it time to get into the connect.
    PumpFor(500);
    EXPECT_FALSE(m_Debug.Contains("mrvUpdate::ThreadProc: Connection failed, try to start language monitor."));
    const double start = robust::NowMs();
    worker.Stop(1000);
    const double stopMs = robust::NowMs() - start;
    std::printf("[ figures ] held connect: stop %.0f ms\n", stopMs);
    EXPECT_LT(stopMs, 500.0);
    EXPECT_EQ(m_Debug.CountContaining(kNormal), 1u);
}

} // namespace
