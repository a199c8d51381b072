// The real program against the simulator: the Monitor page and the error box.
#include "app_fixture.h"
#include "language.h"
#include "lmsim_process.h"
#include "resource.h"
#include <commctrl.h>

using namespace apptest;
using mrvAPI::mrvLanguages;

namespace {

TEST_F(App, TheMonitorPageFollowsTheSimulator)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"A", L"FILE:");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForTray());
    HWND hMain = nullptr;
    ASSERT_TRUE(qsmtest::PumpUntil([&] { return (hMain = MainWindow(L"A", L"FILE:")) && IsWindowVisible(hMain); }, 10000));
    HWND hList = FindControl(hMain, IDC_STATUS_LIST);
    ASSERT_NE(hList, nullptr);

    // The firmware number once, then the status (the static scenario sends no reset).
    const std::vector<std::wstring> expected = {mrvLanguages::GetText(19) + L" 300 " + mrvLanguages::GetText(20),
                                                mrvLanguages::GetText(40)};
    // The job name comes last in a cycle.
    const std::wstring jobLine = mrvLanguages::GetText(23) + L" poster_A2.pdf";
    EXPECT_TRUE(qsmtest::PumpUntil([&] { return qsmtest::WindowText(FindControl(hMain, IDC_JOB_NAME)) == jobLine; }, 10000));
    EXPECT_EQ(ListLines(hList), expected);
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_INK_LEVEL), PBM_GETPOS, 0, 0), 72);
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_UV_LAMP), PBM_GETPOS, 0, 0), 90);
    EXPECT_EQ(qsmtest::WindowText(FindControl(hMain, IDC_MAT_CODE)), L"UV-INK CMYK 1L / LOT 24-117");
    EXPECT_EQ(qsmtest::WindowText(FindControl(hMain, IDC_JOB_COUNT)), mrvLanguages::GetText(22) + L" 0");

    // An unchanged status adds no line, however many cycles pass.
    const size_t requests = sim.CountContaining(" cmd 3 ");
    EXPECT_TRUE(sim.WaitForCount(" cmd 3 ", requests + 3, 5000));
    EXPECT_EQ(ListLines(hList), expected);
}

TEST_F(App, APrinterErrorRaisesItsWindowWithTheTranslatedBox)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario errors"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"A", L"FILE:");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForTray());
    HWND hBox = qsmtest::WaitForMessageBox(mrvLanguages::GetText(61) + L" 0x0000012A", 15000);
    ASSERT_NE(hBox, nullptr);
    const qsmtest::MessageBoxView box = qsmtest::ReadMessageBox(hBox);
    EXPECT_EQ(box.text, mrvLanguages::GetText(71));
    HWND hMain = MainWindow(L"A", L"FILE:");
    EXPECT_EQ(box.owner, hMain);
    EXPECT_TRUE(IsWindowVisible(hMain));
    ASSERT_TRUE(qsmtest::CloseMessageBox(hBox));

    // Minimised, the window still polls; the next error (8 s into the scenario)
    // brings it back with its box, and the page shows the values of that step.
    ShowWindow(hMain, SW_MINIMIZE);
    ASSERT_TRUE(qsmtest::PumpUntil([&] { return IsIconic(hMain) != FALSE; }, 5000));
    hBox = qsmtest::WaitForMessageBox(mrvLanguages::GetText(62) + L" 0x00000130", 15000);
    ASSERT_NE(hBox, nullptr);
    const qsmtest::MessageBoxView next = qsmtest::ReadMessageBox(hBox);
    EXPECT_EQ(next.text, mrvLanguages::GetText(72));
    EXPECT_EQ(next.owner, hMain);
    EXPECT_FALSE(IsIconic(hMain));
    EXPECT_TRUE(IsWindowVisible(hMain));
    EXPECT_TRUE(qsmtest::CloseMessageBox(hBox));
    // The status comes after the two bars in a cycle.
    HWND hList = FindControl(hMain, IDC_STATUS_LIST);
    EXPECT_TRUE(qsmtest::PumpUntil(
        [&] {
            const std::vector<std::wstring> lines = ListLines(hList);
            return !lines.empty() && lines.back() == mrvLanguages::GetText(47);
        },
        5000));
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_INK_LEVEL), PBM_GETPOS, 0, 0), 55);
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_UV_LAMP), PBM_GETPOS, 0, 0), 0);
}

} // namespace
