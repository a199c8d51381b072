// A language monitor that floods or flaps: one error box at a time, bounded
// memory, and a connection that is dropped and made again.
#include "robust.h"
#include "lmsim_process.h"
#include "maindlg.h"
#include "messages.h"
#include "post_recorder.h"
#include "printer.h"
#include "pump.h"
#include "update.h"
#include "window_probe.h"
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using qsmtest::LmsimProcess;
using qsmtest::PumpUntil;

namespace {

struct Boxes {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND hWnd, LPARAM lParam)
{
    Boxes* boxes = reinterpret_cast<Boxes*>(lParam);
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(hWnd) && GetWindow(hWnd, GW_OWNER) == boxes->owner)
        boxes->found.push_back(hWnd);
    return TRUE;
}

// The error boxes open over a window of the given thread, newest first.
std::vector<HWND> OpenBoxes(DWORD threadId, HWND hOwner)
{
    Boxes boxes{hOwner, {}};
    EnumThreadWindows(threadId, &CollectBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes.found;
}

std::vector<HWND> WaitForBoxes(DWORD threadId, HWND hOwner, DWORD timeoutMs)
{
    const double end = robust::NowMs() + timeoutMs;
    std::vector<HWND> boxes;
    while ((boxes = OpenBoxes(threadId, hOwner)).empty() && robust::NowMs() < end)
        Sleep(20);
    return boxes;
}

std::wstring Shown(HWND hBox)
{
    const qsmtest::MessageBoxView view = qsmtest::ReadMessageBox(hBox);
    return view.caption + L"|" + view.text;
}

using Flood = robust::Robust;

TEST_F(Flood, AFlappingErrorKeepsOneBoxAndShowsTheNewestWhenItCloses)
{
    const DWORD flapMs = robust::Seconds(3) * 1000;
    auto sim = std::make_unique<LmsimProcess>();
    ASSERT_TRUE(sim->Start(L"--scenario static --fault flap --quiet"));
    m_Registry.SetTcpPort(sim->Port());
    m_Registry.SetUpdateTime(L"50");
    InstallNumbered(1);
    std::unique_ptr<mrvAPI::mrvPrinter> printer(mrvAPI::mrvPrinter::GetPrinter(0));
    ASSERT_NE(printer, nullptr);
    auto dialog = std::make_unique<mrvMainDialog>(*printer);
    dialog->Create(GetModuleHandleW(nullptr), 101, -1, 0);
    const HWND hDlg = dialog->GetHwnd();
    const DWORD self = GetCurrentThreadId();

    size_t openAtFirst = 0, openAtNext = 0;
    std::wstring first, next;
    std::atomic<bool> done{false};
    // The boxes run their loops on this thread; they are watched and closed from another.
    std::thread watcher([&] {
        std::vector<HWND> boxes = WaitForBoxes(self, hDlg, 15000);
        if (!boxes.empty()) {
            Sleep(flapMs);
            boxes = OpenBoxes(self, hDlg);
            openAtFirst = boxes.size();
            first = Shown(boxes.front());
            qsmtest::CloseMessageBox(boxes.front());
            boxes = WaitForBoxes(self, hDlg, 3000);
            openAtNext = boxes.size();
            if (!boxes.empty())
                next = Shown(boxes.front());
        }
        sim.reset(); // no more errors
        const double end = robust::NowMs() + 60000;
        while (robust::NowMs() < end && !(boxes = WaitForBoxes(self, hDlg, 1500)).empty())
            qsmtest::CloseMessageBox(boxes.front(), 2000);
        done = true;
    });
    dialog->Show();
    PumpUntil([&] { return done.load(); }, 120000);
    watcher.join();
    std::printf("[ figures ] flapping error: %zu box(es) open after %lu ms, %zu after the first closed\n",
                openAtFirst, flapMs, openAtNext);
    EXPECT_EQ(openAtFirst, 1u);
    EXPECT_EQ(openAtNext, 1u);
    EXPECT_FALSE(first.empty());
    EXPECT_NE(next, first);
    dialog->Destroy();
    dialog.reset();
}

TEST_F(Flood, AnEndlessAnswerIsADroppedConnectionAndMemoryStaysFlat)
{
    const DWORD runMs = robust::Seconds(5) * 1000;
    LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --fault endless"));
    m_Registry.SetTcpPort(sim.Port());
    qsmtest::PostRecorder owner({mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true);
    mrvUpdate worker(owner.Hwnd(), nullptr, 50);
    worker.SetActive(true);
    worker.Start(THREAD_PRIORITY_NORMAL);
    ASSERT_TRUE(sim.WaitForCount(" open", 1, 10000));
    owner.Pump(500);
    const size_t before = robust::PrivateBytes();
    owner.Pump(runMs);
    const double growthMb = (static_cast<double>(robust::PrivateBytes()) - static_cast<double>(before)) / 1048576.0;
    const size_t connections = sim.CountContaining(" open");
    m_Debug.Clear();
    worker.Stop(1000);
    std::printf("[ figures ] endless answer: memory %+.1f MB in %lu ms, %zu connections\n", growthMb, runMs,
                connections);
    EXPECT_LT(growthMb, 2.0);
    EXPECT_GE(connections, 3u);
    EXPECT_EQ(m_Debug.CountContaining("termination recognized, stop normal."), 1u);
}

} // namespace
