// The update worker of a real main dialog against the simulator's faults: the
// process keeps going, every stop is a normal one, resources return to where they
// were, and the user-interface thread keeps its pace.
#include "language.h"
#include "process.h"
#include "maindlg.h"
#include "printer.h"
#include "registry_fixture.h"
#include "resource.h"
#include "soak_support.h"
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>

using namespace soak;

namespace {

class WorkerSoak : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitCommonControls(); }

    void SetUp() override
    {
        m_Registry.SetPath(LanguageFolder());
        m_Registry.SetUpdateTime(L"10");
        mrvAPI::mrvLanguages::Load();
    }
    void TearDown() override { mrvAPI::mrvLanguages::Clear(); }

    std::unique_ptr<mrvMainDialog> ShowDialog()
    {
        auto dialog = std::make_unique<mrvMainDialog>(
            mrvAPI::mrvPrinter(L"Quillor Soak", L"USB001", L"VESTRANO QUILLOR 2"));
        dialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        dialog->Show();
        return dialog;
    }

    static void Close(std::unique_ptr<mrvMainDialog> dialog)
    {
        dialog->Hide();
        dialog->Destroy();
    }

    qsmtest::RegistryFixture m_Registry;
};

} // namespace

TEST_F(WorkerSoak, FaultsLeaveNoTraceAndNeverStallTheWindow)
{
    const int scale = Scale();
    const DWORD runMs = 800 * static_cast<DWORD>(scale);
    const struct {
        const char* name;
        const wchar_t* arguments;
        size_t reconnects; // run until this many broken connections were replaced
    } cases[] = {
        {"random bytes", L"--fault random --seed 7", 0},
        {"answers too short", L"--fault short", 0},
        {"100 KiB flood", L"--fault flood", 0},
        {"stall after 3 answers", L"--fault stall --stall-after 3", 0},
        {"slow answers", L"--fault slow", 0},
        {"close after a request", L"--fault drop", 100 * static_cast<size_t>(scale)},
    };

    // What the first dialog of a process creates once (classes, fonts, Winsock)
    // stays, and so does the watcher thread GoogleTest starts with a thread's
    // first trace; the counts are taken after both.
    {
        SCOPED_TRACE("warm-up");
        qsmtest::LmsimProcess warm;
        ASSERT_TRUE(warm.Start(L"--quiet --scenario static"));
        m_Registry.SetTcpPort(warm.Port());
        auto dialog = ShowDialog();
        PumpFor(300);
        Close(std::move(dialog));
    }

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qsmtest::LmsimProcess simulator;
        ASSERT_TRUE(simulator.Start(std::wstring(L"--quiet --scenario static ") + c.arguments));
        m_Registry.SetTcpPort(simulator.Port());
        LineCounter exchanges("SocketAPI::SocketRequestData ");
        LineCounter normalStops("termination recognized, stop normal.");
        LineCounter forcedStops("does not end, terminate thread.");
        const Counts before = Take();

        auto dialog = ShowDialog();
        Heartbeat heartbeat; // from here the window only handles what the worker posts
        if (c.reconnects) {
            LineCounter replaced("SOCKET_API: Connection closed.");
            EXPECT_TRUE(PumpUntil([&] { return replaced.Count() >= static_cast<long>(c.reconnects); },
                                  60000 * static_cast<DWORD>(scale)));
        } else {
            PumpFor(runMs);
        }
        heartbeat.Stop();
        Close(std::move(dialog));

        EXPECT_GT(exchanges.Count(), 0);
        EXPECT_GT(heartbeat.Ticks(), 10);
        EXPECT_LE(heartbeat.MaxBlockedMs(), 50.0) << heartbeat.Ticks() << " ticks, longest gap " << heartbeat.MaxGapMs();
        EXPECT_EQ(normalStops.Count(), 1);
        EXPECT_EQ(forcedStops.Count(), 0);
        EXPECT_TRUE(BackTo(before, 3000)) << "before: " << before.Describe() << "; after: " << Take().Describe();
        RecordProperty(std::string(c.name) + " longest blocked ms", static_cast<int>(heartbeat.MaxBlockedMs()));
    }
}
