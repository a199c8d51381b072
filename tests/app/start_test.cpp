// Start-up of the real program: what it shows, which windows come up, its exit codes.
#include "app_fixture.h"
#include "exception.h"
#include "language.h"
#include "utils.h"

using namespace apptest;
using mrvAPI::mrvLanguages;
using qsmtest::SpoolerFixture;

namespace {

// Printers only on COM ports: none is monitored.
TEST_F(App, WithoutAMonitoredPrinterItWarnsAndEndsWithOne)
{
    Install(L"A", SpoolerFixture::ComPort());
    ASSERT_TRUE(Start());
    HWND hBox = qsmtest::WaitForMessageBox(mrvLanguages::GetText(3), 15000);
    ASSERT_NE(hBox, nullptr);
    const qsmtest::MessageBoxView box = qsmtest::ReadMessageBox(hBox);
    EXPECT_EQ(box.text, mrvLanguages::GetText(1));
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(MainWindow(L"A", SpoolerFixture::ComPort()), nullptr);
    EXPECT_EQ(CloseBoxAndWait(hBox), 1u);
}

TEST_F(App, ANamedPrinterIsTheOnlyWindowShownAndASecondStartHandsOverWithZero)
{
    Install(L"A", L"FILE:");
    Install(L"B", L"FILE:");
    Install(L"C", SpoolerFixture::ComPort());
    // The whole argument string is the name, blanks included.
    ASSERT_TRUE(Start(Name(L"B")));
    ASSERT_TRUE(WaitForTray());
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return IsShown(L"B", L"FILE:"); }, 10000));
    ASSERT_TRUE(UseMenu({}));
    ASSERT_NE(MainWindow(L"A", L"FILE:"), nullptr);
    EXPECT_FALSE(IsShown(L"A", L"FILE:"));
    EXPECT_FALSE(IsWindowVisible(Tray()));

    // Quotes stay part of the name, which then matches no printer: nothing more is shown.
    qsmtest::ChildProcess second;
    ASSERT_TRUE(Start(second, L"\"" + Name(L"A") + L"\""));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_FALSE(IsShown(L"A", L"FILE:"));

    ASSERT_TRUE(Start(second));
    EXPECT_EQ(second.Wait(15000), 0u);
    EXPECT_TRUE(IsShown(L"A", L"FILE:"));
    EXPECT_TRUE(IsShown(L"B", L"FILE:"));
    EXPECT_EQ(MainWindow(L"C", SpoolerFixture::ComPort()), nullptr);
    EXPECT_TRUE(m_Program.IsRunning());
}

TEST_F(App, ACatalogueThatCannotBeLoadedEndsInTheCriticalErrorBox)
{
    m_Registry.Remove(L"Path");
    // The program fails the same way as this process does.
    std::wstring report;
    try {
        mrvLanguages::Load();
    } catch (const mrvAPI::mrvException& e) {
        report = mrvAPI::mrvUtils::M2W(e.GetReport("\n"));
    }
    ASSERT_FALSE(report.empty());
    ASSERT_TRUE(Start());
    HWND hBox = qsmtest::WaitForMessageBox(L"Critical error.", 15000);
    ASSERT_NE(hBox, nullptr);
    const qsmtest::MessageBoxView box = qsmtest::ReadMessageBox(hBox);
    EXPECT_EQ(box.text, report);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(CloseBoxAndWait(hBox), static_cast<DWORD>(-1));
}

} // namespace
