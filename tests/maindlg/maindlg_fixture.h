#pragma once
// A real main dialog for a test printer of the spooler, with a small language
// file, the registry values it reads and a scripted language monitor.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "fake_lm.h"
#include "language.h"
#include "maindlg.h"
#include "printer.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "window_probe.h"
#include "win.h"
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace mdtest {

using qsmtest::PumpUntil;

// Text n of the test catalogue: "T<n>". It has no error-code table, so an error
// box is captioned "ERROR 0x" + code and shows the decoded text.
std::wstring Text(UINT id);

// The direct child window of hParent that holds a control with this id (a page
// or the log box), or null.
HWND ChildHolding(HWND hParent, int controlId);
int CountChildrenHolding(HWND hParent, int controlId);
bool HasVisibleStyle(HWND hWnd);
// The cursor the dialog chooses when the mouse moves over it.
HCURSOR CursorAfterSetCursor(HWND hDlg);

class MainDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Builds and creates the dialog hidden, as the tray window does.
    mrvMainDialog& Make();
    void DestroyDialog();
    HWND Dlg() const { return m_pDialog->GetHwnd(); }
    HWND Tab() const { return GetDlgItem(Dlg(), 1002); }
    HWND MonitorPage() const { return ChildHolding(Dlg(), 1004); }
    HWND InfoPage() const { return ChildHolding(Dlg(), 1013); }
    void SelectTab(int index);

    static std::wstring PrinterName();

    qsmtest::DebugCapture m_Debug;
    qsmtest::FakeLanguageMonitor m_Lm;
    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
    std::unique_ptr<mrvMainDialog> m_pDialog;
    std::unique_ptr<mrvAPI::mrvPrinter> m_pPrinter;

private:
    static qsmtest::SpoolerFixture* s_pSpooler;
};

} // namespace mdtest
