#include "debug_capture.h"
#include "exception.h"
#include "lock.h"
#include "pump.h"
#include "thread.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace mrvAPI;
using qsmtest::DebugCapture;

namespace {

enum class Body {
    Returns,        // ends at once
    EndsAfter200Ms, // ends on its own, ignoring the stop request
    NeverEnds,      // spins on Sleep(10) without looking at the stop request
    Pauses,         // waits interruptibly with WaitForStop between cycles
    PollsFlag,      // checks IsStopRequested every 10 ms
};

class TestThread : public mrvThread {
public:
    explicit TestThread(Body body) : mrvThread("Test"), m_Body(body) {}
    // The body must be gone before this object's members are.
    ~TestThread() override { Stop(3000); }

    std::atomic<int> runs{0};
    std::atomic<int> cycles{0};
    std::atomic<int> completed{0};
    std::atomic<DWORD> seenId{0};

protected:
    DWORD ThreadProc() override
    {
        seenId = GetCurrentThreadId();
        ++runs;
        switch (m_Body) {
        case Body::Returns:
            break;
        case Body::EndsAfter200Ms:
            Sleep(200);
            break;
        case Body::NeverEnds:
            for (;;) {
                ++cycles;
                Sleep(10);
            }
        case Body::Pauses:
            while (!IsStopRequested()) {
                ++cycles;
                WaitForStop(10000);
            }
            break;
        case Body::PollsFlag:
            while (!IsStopRequested()) {
                ++cycles;
                Sleep(10);
            }
            break;
        }
        ++completed;
        return 0;
    }

private:
    Body m_Body;
};

std::string Line(DWORD id, const char* tail)
{
    return "Thread <" + std::to_string(id) + "> " + tail + "\n";
}

// The captured lines that belong to one thread id, in order.
std::vector<std::string> LinesOf(const DebugCapture& capture, DWORD id)
{
    const std::string prefix = "Thread <" + std::to_string(id) + "> ";
    std::vector<std::string> lines;
    for (const std::string& l : capture.Lines())
        if (l.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(l);
    return lines;
}

void ExpectIdle(TestThread& t)
{
    EXPECT_EQ(t.GetThreadId(), 0u);
    EXPECT_FALSE(t.IsFinished());
    EXPECT_FALSE(t.IsStopRequested());
}

} // namespace

// The poll step ends early when the thread exits, so only upper bounds are asserted
// where the body ends by itself. A time-out below one poll step does not wait.
TEST(Thread, StopWaitsForTheBodyUpToItsTimeOutThenTerminates)
{
    const struct {
        Body body;
        DWORD timeout;
        long long minMs, maxMs;
        bool terminated;
    } cases[] = {
        {Body::EndsAfter200Ms, 3000, 0, 900, false}, // about 300 ms at most
        {Body::Pauses, 3000, 0, 500, false},         // the pause ends on the stop request
        {Body::PollsFlag, 3000, 0, 500, false},      // the next check sees the flag
        {Body::Returns, 50, 0, 500, false},          // already finished: stopped normally
        {Body::NeverEnds, 50, 0, 500, true},
        {Body::NeverEnds, 3000, 2900, 4500, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.body) * 10000 + c.timeout);
        DebugCapture capture;
        TestThread t(c.body);
        t.Start(THREAD_PRIORITY_NORMAL);
        const DWORD id = t.GetThreadId();
        ASSERT_TRUE(qsmtest::PumpUntil([&] { return c.body == Body::Returns ? t.IsFinished() : t.runs > 0; }, 2000));
        if (c.body != Body::EndsAfter200Ms) { // which may be over already on a loaded machine
            EXPECT_EQ(t.IsFinished(), c.body == Body::Returns);
        }
        EXPECT_FALSE(t.IsStopRequested());
        const auto start = std::chrono::steady_clock::now();
        t.Stop(c.timeout);
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(ms, c.minMs);
        EXPECT_LE(ms, c.maxMs);
        EXPECT_EQ(t.completed.load(), c.terminated ? 0 : 1);
        EXPECT_EQ(t.seenId.load(), id);
        // "started." comes from the starting thread, which a body that returns at once may overtake.
        std::vector<std::string> lines = LinesOf(capture, id);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(std::count(lines.begin(), lines.end(), Line(id, "started.")), 1);
        lines.erase(std::find(lines.begin(), lines.end(), Line(id, "started.")));
        const std::vector<std::string> normal = {Line(id, "will be stopped now."), Line(id, "stopped."),
                                                 Line(id, "termination recognized, stop normal.")};
        if (c.terminated)
            EXPECT_EQ(lines, (std::vector<std::string>{normal[0], Line(id, "does not end, terminate thread.")}));
        else if (c.body == Body::Returns)
            EXPECT_EQ(lines, (std::vector<std::string>{normal[1], normal[0], normal[2]}));
        else if (c.body == Body::EndsAfter200Ms)
            EXPECT_TRUE(std::is_permutation(lines.begin(), lines.end(), normal.begin(), normal.end()));
        else
            EXPECT_EQ(lines, normal);
        ExpectIdle(t);
        if (c.terminated) {
            // The thread is gone: its counter no longer moves.
            const int cycles = t.cycles;
            Sleep(50);
            EXPECT_EQ(t.cycles.load(), cycles);
        }
    }
}

TEST(Thread, StopWithoutThreadDoesNothingSecondStartThrowsRestartRunsANewThread)
{
    DebugCapture capture;
    TestThread t(Body::PollsFlag);
    t.Stop(3000);
    t.Stop(50);
    EXPECT_TRUE(capture.Lines().empty());
    ExpectIdle(t);

    t.Start(THREAD_PRIORITY_NORMAL);
    const DWORD first = t.GetThreadId();
    try {
        t.Start(THREAD_PRIORITY_NORMAL);
        FAIL() << "no exception";
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), mrvE_FAIL);
        ASSERT_EQ(e.GetStack().size(), 1u);
        const std::string head = "Thread already started. Caused in <mrvAPI::mrvThread::Start()> [baseapi\\src\\thread, ";
        EXPECT_EQ(e.GetStack()[0].rfind(head, 0), 0u) << e.GetStack()[0];
    }
    // The first thread runs on.
    EXPECT_EQ(t.GetThreadId(), first);
    const int before = t.cycles;
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return t.cycles > before + 2; }, 2000));
    EXPECT_EQ(capture.Count(Line(first, "started.")), 1u);
    t.Stop(3000);
    capture.Clear();
    t.Stop(3000);
    EXPECT_TRUE(capture.Lines().empty());

    t.Start(THREAD_PRIORITY_BELOW_NORMAL);
    const DWORD second = t.GetThreadId();
    ASSERT_TRUE(qsmtest::PumpUntil([&] { return t.runs == 2; }, 2000));
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(t.seenId.load(), second);
    EXPECT_FALSE(t.IsStopRequested()); // cleared by the new start
    t.Stop(3000);
    EXPECT_EQ(t.completed.load(), 2);
    EXPECT_EQ(capture.Count(Line(second, "termination recognized, stop normal.")), 1u);
}

TEST(Lock, NullGuardThrowsAndLocksNothing)
{
    try {
        mrvLock guard(nullptr);
        FAIL() << "no exception";
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), mrvE_POINTER);
        ASSERT_EQ(e.GetStack().size(), 1u);
        const std::string head =
            "Invalid null pointer parameter <pCS>. Caused in <mrvAPI::mrvLock::mrvLock()> [baseapi\\inc\\lock, ";
        EXPECT_EQ(e.GetStack()[0].rfind(head, 0), 0u) << e.GetStack()[0];
    }
}

TEST(Lock, GuardIsReentrantAndExcludesOtherThreads)
{
    mrvCriticalSection cs("Test");
    EXPECT_EQ(cs.GetName(), "Test");
    auto otherThreadGets = [&] {
        bool got = false;
        std::thread other([&] {
            got = cs.TryEnter();
            if (got)
                cs.Leave();
        });
        other.join();
        return got;
    };
    {
        mrvLock outer(&cs);
        {
            mrvLock inner(&cs); // the owning thread may take it again
            EXPECT_FALSE(otherThreadGets());
        }
        EXPECT_FALSE(otherThreadGets());
    }
    EXPECT_TRUE(otherThreadGets());

    // Left also when an exception passes.
    try {
        mrvLock guard(&cs);
        throw 1;
    } catch (int) {
    }
    EXPECT_TRUE(otherThreadGets());
}
