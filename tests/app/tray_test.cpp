// The real program's tray window driven from outside: the menu, the exit command
// and settings changes.
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
    EXPECT_TRUE(Eventually([&] { return IsShown(L"B", L"LPT1:"); }, 5000));
    EXPECT_FALSE(IsShown(L"A", L"FILE:"));
    ASSERT_TRUE(UseMenu({VK_DOWN, VK_RETURN}));
    EXPECT_TRUE(Eventually([&] { return IsShown(L"A", L"FILE:"); }, 5000));

    // Both shown windows poll, each over a connection of its own.
    EXPECT_TRUE(sim.WaitForCount(" open", 2, 10000));
    ASSERT_TRUE(UseMenu({VK_UP, VK_RETURN}));
    EXPECT_EQ(m_Program.Wait(10000), 0u);
    // Closed while lmsim reads ("closed by the peer") or sends ("send failed, closing").
    EXPECT_TRUE(sim.WaitForCount(" clos", 2, 5000)) << [&] {
        std::string all;
        for (const std::string& line : sim.Lines())
            if (line.find(" cmd ") == std::string::npos)
                all += line + "\n";
        return all;
    }();
}

TEST_F(App, WindowsAndMenuFollowPrintersAfterASettingsChange)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Install(L"C", L"FILE:");
    Install(L"X", SpoolerFixture::ComPort());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForTray());
    ASSERT_TRUE(Eventually([&] { return IsShown(L"C", L"FILE:"); }, 10000));

    ASSERT_TRUE(m_Spooler.RemovePrinter(Name(L"A")));
    ASSERT_TRUE(m_Spooler.ChangePort(Name(L"B"), L"LPT1:"));
    Install(L"D", L"FILE:");
    ASSERT_TRUE(SettingChange());

    EXPECT_EQ(MainWindow(L"A", L"FILE:"), nullptr);
    EXPECT_EQ(MainWindow(L"B", L"FILE:"), nullptr);
    EXPECT_TRUE(IsShown(L"C", L"FILE:"));
    ASSERT_NE(MainWindow(L"B", L"LPT1:"), nullptr);
    ASSERT_NE(MainWindow(L"D", L"FILE:"), nullptr);
    EXPECT_FALSE(IsShown(L"B", L"LPT1:"));
    EXPECT_FALSE(IsShown(L"D", L"FILE:"));
    EXPECT_EQ(MainWindow(L"X", SpoolerFixture::ComPort()), nullptr);

    // The survivor keeps the first entry; the new dialogs follow in spooler order.
    std::vector<std::pair<std::wstring, std::wstring>> added;
    for (const std::wstring& name : qsmtest::SpoolerPrinterNames()) {
        if (name == Name(L"B"))
            added.emplace_back(L"B", L"LPT1:");
        else if (name == Name(L"D"))
            added.emplace_back(L"D", L"FILE:");
    }
    ASSERT_EQ(added.size(), 2u);
    ASSERT_TRUE(UseMenu({VK_UP, VK_UP, VK_RETURN}));
    EXPECT_TRUE(Eventually([&] { return IsShown(added[1].first, added[1].second); }, 5000));
    EXPECT_FALSE(IsShown(added[0].first, added[0].second));
    ASSERT_TRUE(UseMenu({VK_DOWN, VK_DOWN, VK_RETURN}));
    EXPECT_TRUE(Eventually([&] { return IsShown(added[0].first, added[0].second); }, 5000));
}

} // namespace
