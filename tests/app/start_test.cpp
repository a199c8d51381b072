// The real program: start-up, hand-over to a running instance, the error box over a
// printer's window.
#include "app_fixture.h"
#include "exception.h"
#include "lmsim_process.h"
#include "utils.h"

using namespace apptest;
using qsmtest::SpoolerFixture;

namespace {

TEST_F(App, WithoutAMonitoredPrinterItWarnsAndEndsWithOne)
{
    Install(L"A", SpoolerFixture::ComPort());
    ASSERT_TRUE(Start(m_Program, L""));
    ExpectBox(mrvLanguages::GetText(3), mrvLanguages::GetText(1), nullptr);
    EXPECT_EQ(m_Program.Wait(10000), 1u);
    EXPECT_EQ(MainWindow(L"A", SpoolerFixture::ComPort()), nullptr);
}

TEST_F(App, ACatalogueThatCannotBeLoadedEndsInTheCriticalErrorBox)
{
    m_Registry.Remove(L"Path");
    std::wstring report; // the program fails as this process does
    try {
        mrvLanguages::Load();
    } catch (const mrvAPI::mrvException& e) {
        report = mrvAPI::mrvUtils::M2W(e.GetReport("\n"));
    }
    ASSERT_FALSE(report.empty());
    ASSERT_TRUE(Start(m_Program, L""));
    ExpectBox(L"Critical error.", report, nullptr);
    EXPECT_EQ(m_Program.Wait(10000), static_cast<DWORD>(-1));
}

TEST_F(App, ANamedPrinterIsTheOnlyWindowShownAndASecondStartHandsOverWithZero)
{
    Install(L"A");
    Install(L"B");
    Install(L"C", SpoolerFixture::ComPort());
    ASSERT_TRUE(StartWithTray(Name(L"B"))); // the whole tail is the name, blanks included
    EXPECT_TRUE(PumpUntil([&] { return IsShown(L"B"); }, 10000));
    ASSERT_TRUE(Sync());
    ASSERT_NE(MainWindow(L"A"), nullptr);
    EXPECT_FALSE(IsShown(L"A"));
    EXPECT_FALSE(IsWindowVisible(m_hTray));

    // Quotes stay part of the name, which then matches no printer.
    qsmtest::ChildProcess second;
    ASSERT_TRUE(Start(second, L"\"" + Name(L"A") + L"\""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_FALSE(IsShown(L"A"));
    ASSERT_TRUE(Start(second, L""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_TRUE(IsShown(L"A") && IsShown(L"B"));
    EXPECT_EQ(MainWindow(L"C", SpoolerFixture::ComPort()), nullptr);
    EXPECT_TRUE(m_Program.IsRunning());
}

// The box comes over the window; a minimised window, which still polls, comes back
// with the next error's box.
TEST_F(App, APrinterErrorRaisesItsWindowWithTheTranslatedBox)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario errors"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"A");
    ASSERT_TRUE(StartWithTray());
    const HWND hMain = MainWindow(L"A");
    ASSERT_NE(hMain, nullptr);
    ExpectBox(mrvLanguages::GetText(61) + L" 0x0000012A", mrvLanguages::GetText(71), hMain);
    EXPECT_TRUE(IsWindowVisible(hMain));
    ShowWindow(hMain, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(hMain) != FALSE; }, 5000));
    ExpectBox(mrvLanguages::GetText(62) + L" 0x00000130", mrvLanguages::GetText(72), hMain);
    EXPECT_FALSE(IsIconic(hMain));
    EXPECT_TRUE(IsWindowVisible(hMain));
}

} // namespace
