#include "../base/thrown.h"
#include "debug_capture.h"
#include "lock.h"
#include "pump.h"
#include "thread.h"
#include <atomic>
#include <chrono>
#include <thread>

using namespace mrvAPI;

namespace {

enum class Body { Returns, NeverEnds, Pauses };

class TestThread : public mrvThread {
public:
    explicit TestThread(Body b) : mrvThread("Test"), body(b) {}
    // The body must be gone before this object's members are.
    ~TestThread() override { Stop(3000); }

    const Body body;
    std::atomic<int> runs{0}, cycles{0}, completed{0};

protected:
    DWORD ThreadProc() override
    {
        ++runs;
        for (; body != Body::Returns && !(body == Body::Pauses && IsStopRequested()); ++cycles)
            body == Body::Pauses ? (void)WaitForStop(10000) : Sleep(10);
        ++completed;
        return 0;
    }
};

// The thread's lines without their head, "started." first: the starting thread writes it,
// and a body that returns at once may overtake it.
std::string Lines(const qsmtest::DebugCapture& capture, DWORD id)
{
    const std::string head = "Thread <" + std::to_string(id) + "> ";
    std::string tails = capture.Count(head + "started.\n") == 1 ? "started.\n" : "";
    for (const std::string& line : capture.Lines())
        if (line.rfind(head, 0) == 0 && line != head + "started.\n")
            tails += line.substr(head.size());
    return tails;
}

const char* const kNormal = "started.\nwill be stopped now.\nstopped.\ntermination recognized, stop normal.\n";

} // namespace

// The poll step ends early when the thread exits; a time-out below one poll step does not wait.
TEST(Thread, StopWaitsForTheBodyUpToItsTimeOutThenTerminates)
{
    const char* const kTerminated = "started.\nwill be stopped now.\ndoes not end, terminate thread.\n";
    const struct {
        Body body;
        DWORD timeout;
        long long minMs, maxMs;
        const char* lines;
    } cases[] = {
        {Body::Pauses, 3000, 0, 500, kNormal},
        {Body::Returns, 50, 0, 500, "started.\nstopped.\nwill be stopped now.\ntermination recognized, stop normal.\n"},
        {Body::NeverEnds, 50, 0, 500, kTerminated},
        {Body::NeverEnds, 3000, 2900, 4500, kTerminated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.body) * 10000 + c.timeout);
        qsmtest::DebugCapture capture;
        TestThread t(c.body);
        t.Start(THREAD_PRIORITY_NORMAL);
        const DWORD id = t.GetThreadId();
        ASSERT_TRUE(qsmtest::PumpUntil([&] { return c.body == Body::Returns ? t.IsFinished() : t.runs > 0; }, 2000));
        const auto start = std::chrono::steady_clock::now();
        t.Stop(c.timeout);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_TRUE(ms.count() >= c.minMs && ms.count() <= c.maxMs) << ms.count() << " ms";
        EXPECT_EQ(t.completed.load(), c.body == Body::NeverEnds ? 0 : 1);
        EXPECT_EQ(Lines(capture, id), c.lines);
        EXPECT_FALSE(t.GetThreadId() || t.IsFinished() || t.IsStopRequested());
        const int cycles = t.cycles;
        Sleep(50); // a terminated thread no longer counts
        EXPECT_EQ(t.cycles.load(), cycles);
    }
}

TEST(Thread, SecondStartThrowsStopWithoutThreadDoesNothingRestartRunsANewThread)
{
    qsmtest::DebugCapture capture;
    TestThread t(Body::Pauses);
    t.Start(THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(Thrown([&] { t.Start(THREAD_PRIORITY_NORMAL); })
                  .rfind("Thread already started. Caused in <mrvAPI::mrvThread::Start()> [baseapi\\src\\thread, ", 0),
              0u);
    t.Stop(3000);
    capture.Clear();
    t.Stop(3000); // no thread: nothing to do
    EXPECT_TRUE(capture.Lines().empty());

    t.Start(THREAD_PRIORITY_BELOW_NORMAL);
    const DWORD second = t.GetThreadId();
    ASSERT_TRUE(qsmtest::PumpUntil([&] { return t.runs == 2; }, 2000));
    EXPECT_FALSE(t.IsStopRequested()); // cleared by the new start
    t.Stop(3000);
    EXPECT_EQ(t.completed.load(), 2);
    EXPECT_EQ(Lines(capture, second), kNormal);
}

TEST(Lock, NullGuardThrowsAGuardExcludesOtherThreadsUntilItGoes)
{
    EXPECT_EQ(Thrown([] { mrvLock guard(nullptr); }, mrvE_POINTER)
                  .rfind("Invalid null pointer parameter <pCS>. Caused in <mrvAPI::mrvLock::mrvLock()> [", 0),
              0u);
    mrvCriticalSection cs("Test");
    auto otherThreadGets = [&] {
        bool got = false;
        std::thread([&] { got = cs.TryEnter() && (cs.Leave(), true); }).join();
        return got;
    };
    {
        mrvLock guard(&cs);
        EXPECT_FALSE(otherThreadGets());
    }
    EXPECT_TRUE(otherThreadGets());
}
