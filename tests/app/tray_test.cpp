// The real program's tray menu driven from outside, and its exit command; the
// settings changes are followed in-process by the tray tests.
#include "app_fixture.h"
#include "lmsim_process.h"

using namespace apptest;
using qsmtest::SpoolerFixture;

namespace {

TEST_F(App, TheMenuOpensThePrinterWindowsInOrderAndExitStopsEverything)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"A", L"FILE:");
    Install(L"B", L"LPT1:");
    Install(L"C", SpoolerFixture::ComPort());
    ASSERT_TRUE(Start(L"none of these"));
    ASSERT_TRUE(WaitForTray());

    // Entries: A, B, separator, exit. The keys skip the separator.
    ASSERT_TRUE(UseMenu({VK_DOWN, VK_DOWN, VK_RETURN}));
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return IsShown(L"B", L"LPT1:"); }, 5000));
    EXPECT_FALSE(IsShown(L"A", L"FILE:"));
    ASSERT_TRUE(UseMenu({VK_DOWN, VK_RETURN}));
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return IsShown(L"A", L"FILE:"); }, 5000));

    // Both shown windows poll, each over a connection of its own.
    EXPECT_TRUE(sim.WaitForCount(" open", 2, 10000));
    ASSERT_TRUE(UseMenu({VK_UP, VK_RETURN}));
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    // Closed while lmsim reads ("closed by the peer") or sends ("send failed, closing").
    EXPECT_TRUE(sim.WaitForCount(" clos", 2, 5000));
}

} // namespace
