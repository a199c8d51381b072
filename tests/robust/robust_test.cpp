// A language monitor that is down, floods or flaps, and small faults around the
// edges: the save dialog, keyboard use, texts posted from outside, thread bodies
// that throw.
#include "debug_capture.h"
#include "dialog_driver.h"
#include "fake_lm.h"
#include "handle.h"
#include "language.h"
#include "process.h"
#include "maindlg.h"
#include "messages.h"
#include "post_recorder.h"
#include "printer.h"
#include "registry_fixture.h"
#include "resource.h"
#include "socket.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "thread.h"
#include "trydlg.h"
#include "update.h"
#include "window_probe.h"
#include <atomic>
#include <commctrl.h>
#include <memory>
#include <new>
#include <psapi.h>
#include <thread>

using mrvAPI::mrvLanguages;
using mrvAPI::mrvPrinter;
using qsmtest::PumpFor;
using qsmtest::PumpUntil;
using qsmtest::SpoolerFixture;

namespace {

const char* const kNormal = "termination recognized, stop normal.";
const char* const kForced = "does not end, terminate thread.";

// The shipped language file from beside the test program, this program's printers
// (by their driver), a short update time and no language monitor.
class Robust : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
        m_Registry.SetPrinterFilter(SpoolerFixture::QuillorDriver());
        m_Registry.SetUpdateTime(L"200");
        m_Registry.SetTcpPort(qsmtest::FakeLanguageMonitor().Port()); // closed again at once
        mrvLanguages::Load();
    }
    void TearDown() override
    {
        mrvPrinter::Clear();
        mrvLanguages::Clear();
    }
    // Installs the printer and fills the list afresh.
    void Install(const std::wstring& name)
    {
        EXPECT_TRUE(m_Spooler.InstallPrinter(SpoolerFixture::Unique(name), L"FILE:", SpoolerFixture::QuillorDriver()));
        mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    }
    // The status window of the first printer, created.
    std::unique_ptr<mrvMainDialog> Dialog()
    {
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(0));
        auto dialog = printer ? std::make_unique<mrvMainDialog>(*printer) : nullptr;
        if (dialog)
            dialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        return dialog;
    }

    qsmtest::DebugCapture m_Debug;
    qsmtest::RegistryFixture m_Registry;
    SpoolerFixture m_Spooler;
};

using Flood = Robust;
using Items = Robust;
using MonitorDown = Robust;

// The visible boxes over hOwner, topmost first, once there is one or timeoutMs has passed.
std::vector<HWND> Boxes(HWND hOwner, DWORD timeoutMs = 0)
{
    std::vector<HWND> found;
    qsmtest::PollUntil(timeoutMs, [&] {
        found.clear();
        for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", nullptr)) != nullptr;)
            if (IsWindowVisible(h) && GetWindow(h, GW_OWNER) == hOwner)
                found.push_back(h);
        return !found.empty();
    });
    return found;
}

TEST_F(Flood, AFlappingErrorKeepsOneBoxAndShowsTheNewestWhenItCloses)
{
    const DWORD flapMs = 3000;
    auto sim = std::make_unique<qsmtest::LmsimProcess>();
    ASSERT_TRUE(sim->Start(L"--scenario static --fault flap --quiet"));
    m_Registry.SetTcpPort(sim->Port());
    m_Registry.SetUpdateTime(L"50");
    Install(L"Quillor Flapping");
    auto dialog = Dialog();
    ASSERT_NE(dialog, nullptr);
    const HWND hDlg = dialog->GetHwnd();
    const auto shown = [](HWND hBox) {
        return qsmtest::WindowText(hBox) + L"|" + qsmtest::WindowText(GetDlgItem(hBox, 0xFFFF));
    };
    size_t openAtFirst = 0, openAtNext = 0;
    std::wstring first, next;
    std::atomic<bool> done{false};
    // The boxes run their loops on this thread; they are watched and closed from another.
    std::thread watcher([&] {
        if (!Boxes(hDlg, 15000).empty()) {
            Sleep(flapMs);
            std::vector<HWND> boxes = Boxes(hDlg);
            openAtFirst = boxes.size();
            first = shown(boxes.front());
            qsmtest::CloseMessageBox(boxes.front());
            boxes = Boxes(hDlg, 3000);
            openAtNext = boxes.size();
            next = boxes.empty() ? L"" : shown(boxes.front());
        }
        sim.reset(); // no more errors
        for (const ULONGLONG end = GetTickCount64() + 60000; GetTickCount64() < end;) {
            const std::vector<HWND> boxes = Boxes(hDlg, 1500);
            if (boxes.empty())
                break;
            qsmtest::CloseMessageBox(boxes.front(), 2000);
        }
        done = true;
    });
    dialog->Show();
    PumpUntil([&] { return done.load(); }, 120000);
    watcher.join();
    EXPECT_EQ(openAtFirst, 1u);
    EXPECT_EQ(openAtNext, 1u);
    EXPECT_FALSE(first.empty());
    EXPECT_NE(next, first);
    dialog->Destroy();
}

TEST_F(Flood, AnEndlessAnswerIsADroppedConnectionAndMemoryStaysFlat)
{
    const DWORD runMs = 5000;
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --fault endless"));
    m_Registry.SetTcpPort(sim.Port());
    qsmtest::PostRecorder owner({mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true);
    mrvUpdate worker(owner.Hwnd(), nullptr, 50);
    worker.SetActive(true);
    worker.Start(THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(sim.WaitForCount(" open", 1, 10000));
    const auto privateBytes = [] {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<double>(std::max(counters.PagefileUsage, counters.WorkingSetSize));
    };
    PumpFor(500);
    const double before = privateBytes();
    PumpFor(runMs);
    const double growthMb = (privateBytes() - before) / 1048576.0;
    const size_t connections = sim.CountContaining(" open");
    m_Debug.Clear();
    worker.Stop(1000);
    EXPECT_LT(growthMb, 2.0);
    EXPECT_GE(connections, 3u);
    EXPECT_EQ(m_Debug.CountContaining(kNormal), 1u);
}

LRESULT CALLBACK CountBroadcasts(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DEVMODECHANGE)
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, GetWindowLongPtrW(hWnd, GWLP_USERDATA) + 1);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

TEST_F(MonitorDown, ExitEndsEveryWorkerNormallyWithinASecondAndNothingIsBroadcast)
{
    const DWORD watchMs = 3000;
    const size_t windows = 8;
    // Another program's top-level window, as far as a broadcast can tell.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &CountBroadcasts;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RobustBystander";
    RegisterClassW(&wc);
    const HWND hBystander =
        CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance, nullptr);
    for (size_t i = 0; i < windows; ++i)
        Install(L"Quillor Robust " + std::to_wstring(i));
    auto tray = std::make_unique<mrvTryDialog>();
    tray->Create(GetModuleHandleW(nullptr), 101, -1, 0);
    tray->Hide();
    tray->ShowAll();
    // Every worker has failed to connect at least twice.
    ASSERT_TRUE(PumpUntil([&] {
        return m_Debug.CountContaining("Connection failed, try to start language monitor.") >= 2 * windows;
    }, 20000));
    PumpFor(watchMs);
    const LONG_PTR broadcasts = GetWindowLongPtrW(hBystander, GWLP_USERDATA);
    DestroyWindow(hBystander);
    m_Debug.Clear();
    const ULONGLONG start = GetTickCount64();
    tray.reset();
    const ULONGLONG exitMs = GetTickCount64() - start;
    EXPECT_EQ(broadcasts, 0);
    EXPECT_LT(exitMs, 1000u);
    EXPECT_EQ(m_Debug.CountContaining(kNormal), windows);
    EXPECT_EQ(m_Debug.CountContaining(kForced), 0u);
}

TEST_F(MonitorDown, AConnectThatDoesNotCompleteEndsAtOnceOnStop)
{
    // A listener whose backlog of one is full: a connect to it neither succeeds nor fails.
    const Socket winsock; // holds Windows Sockets started
    std::vector<lmserver::OwnedSocket> sockets;
    sockets.emplace_back(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(sockets[0].Get(), reinterpret_cast<sockaddr*>(&address), length);
    listen(sockets[0].Get(), 1);
    getsockname(sockets[0].Get(), reinterpret_cast<sockaddr*>(&address), &length);
    bool held = false;
    while (!held && sockets.size() <= 16) {
        sockets.emplace_back(socket(AF_INET, SOCK_STREAM, 0));
        u_long nonBlocking = 1;
        ioctlsocket(sockets.back().Get(), FIONBIO, &nonBlocking);
        connect(sockets.back().Get(), reinterpret_cast<sockaddr*>(&address), length);
        fd_set writable = {1, {sockets.back().Get()}};
        timeval wait = {0, 300000};
        held = select(0, nullptr, &writable, nullptr, &wait) == 0;
    }
    ASSERT_TRUE(held);
    m_Registry.SetTcpPort(ntohs(address.sin_port));
    mrvUpdate worker(static_cast<HWND>(nullptr), nullptr, 200);
    worker.SetActive(true);
    worker.SetLogFileName(L"held.log");
    worker.RequestLogDownload();
    worker.Start(THREAD_PRIORITY_NORMAL);
    // The first cycle connects at once; give it time to get into the connect.
    PumpFor(500);
    EXPECT_EQ(m_Debug.CountContaining("Connection failed"), 0u);
    const ULONGLONG start = GetTickCount64();
    worker.Stop(1000);
    const ULONGLONG stopMs = GetTickCount64() - start;
    EXPECT_LT(stopMs, 500u);
    EXPECT_EQ(m_Debug.CountContaining(kNormal), 1u);
    // A connect cut short by the stop is no reason to start the monitor, and the
    // log it was for is reported as stopped, not saved.
    EXPECT_EQ(m_Debug.CountContaining("Connection failed"), 0u);
    EXPECT_EQ(worker.GetLogResult(), mrvLogResult::Stopped);
}

// Read by its wide name: the folder's name is beyond every Western ANSI code page;
// and read while an editor holds the file open for writing.
TEST_F(Items, TheLanguageFileIsReadFromAFolderBeyondTheAnsiCodePage)
{
    qsmtest::TempFolder folder;
    const std::wstring wide = L"\u6253\u5370\u6A5F";
    ASSERT_TRUE(CreateDirectoryW(folder.FileName(wide).c_str(), nullptr));
    const std::wstring file =
        folder.Write(wide + L"\\quillor.xml", "<l><language name=\"xx\"><t id=\"1\">one</t></language></l>");
    const mrvAPI::mrvKernelHandle editor(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(editor.IsValid());
    m_Registry.SetPath(folder.FileName(wide));
    ASSERT_NO_THROW(mrvLanguages::Load());
    EXPECT_EQ(mrvLanguages::GetText(1), L"one");
}

// A thread body given as a function.
class Body : public mrvAPI::mrvThread {
public:
    explicit Body(std::function<void(Body&)> body) : mrvThread("Body"), m_Body(std::move(body)) {}
    ~Body() override { Stop(1000); }

protected:
    DWORD ThreadProc() override
    {
        m_Body(*this);
        return 0;
    }

private:
    std::function<void(Body&)> m_Body;
};

TEST_F(Items, ABodyThatThrowsOrSendsToTheStoppingThreadStillEndsNormally)
{
    const HWND hWindow = CreateWindowW(L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const struct {
        const char* name;
        std::function<void(Body&)> body;
        size_t exceptionLines;
    } cases[] = {
        {"bad_alloc", [](Body&) { throw std::bad_alloc(); }, 1},
        {"a text", [](Body&) { throw "INVALID_SOCKET"; }, 1},
        // A window of the thread that waits in Stop: only a wait that handles sent
        // messages lets this body finish.
        {"send on stop", [hWindow](Body& self) {
             self.WaitForStop(INFINITE);
             SendMessageW(hWindow, WM_NULL, 0, 0);
         }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_Debug.Clear();
        Body thread(c.body);
        thread.Start(THREAD_PRIORITY_NORMAL);
        thread.Stop(1000);
        EXPECT_EQ(m_Debug.CountContaining("> exception"), c.exceptionLines);
        EXPECT_EQ(m_Debug.CountContaining(kNormal), 1u);
    }
    DestroyWindow(hWindow);
}

// A main dialog for this program's printer, shown, with the Info page in front.
class WithDialog : public Robust {
protected:
    void SetUp() override
    {
        Robust::SetUp();
        Install(L"Quillor Robust");
        ASSERT_TRUE(m_pDialog = Dialog());
        m_pDialog->Show();
        SetActiveWindow(Dlg());
        const HWND hTab = GetDlgItem(Dlg(), IDC_TAB);
        SendMessageW(hTab, TCM_SETCURSEL, 1, 0);
        NMHDR header = {hTab, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(Dlg(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
    }
    void TearDown() override
    {
        if (m_pDialog)
            m_pDialog->Destroy();
        m_pDialog.reset();
        Robust::TearDown();
    }
    HWND Dlg() const { return m_pDialog->GetHwnd(); }
    HWND Control(int id) const
    {
        for (HWND child = GetWindow(Dlg(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgItem(child, id))
                return GetDlgItem(child, id);
        return GetDlgItem(Dlg(), id);
    }
    // The key as the program's own loop gets it from the keyboard.
    void PressTab(bool shift)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
        PostMessageW(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000001);
        PostQuitMessage(0);
        m_pDialog->MessagePump(nullptr);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }

    std::unique_ptr<mrvMainDialog> m_pDialog;
};

TEST_F(WithDialog, TabAndShiftTabMoveBetweenTheControls)
{
    SetFocus(GetDlgItem(Dlg(), IDC_TAB));
    PressTab(false);
    EXPECT_EQ(GetFocus(), Control(IDC_SAVE_LOG));
    PressTab(true);
    EXPECT_EQ(GetFocus(), GetDlgItem(Dlg(), IDC_TAB));
}

TEST_F(WithDialog, TheSaveDialogIsOwnedByItsWindow)
{
    qsmtest::TempFolder elsewhere;
    HWND owner = nullptr;
    {
        // The worker has no monitor to get the log from and says so.
        qsmtest::DialogDriver error(L"Error", IDOK);
        qsmtest::DialogDriver save(L"Save As", [&](HWND hSave) -> UINT {
            owner = GetWindow(hSave, GW_OWNER);
            const std::wstring path = elsewhere.FileName(L"printer.log");
            SendMessageW(GetDlgItem(hSave, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            return IDOK;
        });
        SendMessageW(Control(IDC_SAVE_LOG), BM_CLICK, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !m_pDialog->IsSavingLog(); }, 15000));
    }
    EXPECT_EQ(owner, Dlg());
}

TEST_F(WithDialog, OnlyTextsThisProcessPostedAreAdoptedAndNoneOutlivesTheWindow)
{
    const size_t outstanding = CountPostedTexts();
    // Another program's number: the window must neither free nor show it.
    static char foreign[] = "not ours";
    PostMessageW(Dlg(), mrvWM_MAT_CODE, 0, reinterpret_cast<LPARAM>(foreign));
    PumpUntil([] { return GetQueueStatus(QS_POSTMESSAGE) == 0; }, 2000);
    EXPECT_STREQ(foreign, "not ours");
    EXPECT_EQ(AdoptPostedText(reinterpret_cast<LPARAM>(foreign)), nullptr);
    // A window already gone: nothing posted, nothing kept.
    EXPECT_FALSE(PostText(nullptr, mrvWM_MAT_CODE, "late"));
    EXPECT_EQ(CountPostedTexts(), outstanding);
    // Ours, left unhandled when the window goes.
    ASSERT_TRUE(PostText(Dlg(), mrvWM_MAT_CODE, "MC-1"));
    ASSERT_TRUE(PostText(Dlg(), mrvWM_ERROR, "0000012A0041"));
    EXPECT_EQ(CountPostedTexts(), outstanding + 2);
    m_pDialog->Destroy();
    m_pDialog.reset();
    EXPECT_EQ(CountPostedTexts(), outstanding);
}

} // namespace
