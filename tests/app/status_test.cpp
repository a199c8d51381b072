// The real program against the simulator: the error box over its window, and the
// Monitor page of that window.
#include "app_fixture.h"
#include "language.h"
#include "lmsim_process.h"
#include "resource.h"
#include <commctrl.h>

using namespace apptest;
using mrvAPI::mrvLanguages;

namespace {

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
        [&] { return qsmtest::ListBoxLine(hList, qsmtest::ListBoxCount(hList) - 1) == mrvLanguages::GetText(47); }, 5000));
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_INK_LEVEL), PBM_GETPOS, 0, 0), 55);
    EXPECT_EQ(SendMessageW(FindControl(hMain, IDC_UV_LAMP), PBM_GETPOS, 0, 0), 0);
}

} // namespace
