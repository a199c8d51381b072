#pragma once
// A real main dialog for a test printer of the spooler, with a small language
// file, the registry values it reads and a scripted language monitor.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "fake_lm.h"
#include "maindlg.h"
#include "printer.h"
#include "spooler_fixture.h"
#include <memory>
#include <utility>

namespace mdtest {

using qsmtest::PumpUntil;
using qsmtest::WindowText;

// Text n of the test catalogue: "T<n>". It has no error-code table, so an error
// box is captioned "ERROR 0x" + code and shows the decoded text.
inline std::wstring Text(UINT id)
{
    return L"T" + std::to_wstring(id);
}

// The first direct child of hParent that holds a control with this id (a page or the log box).
inline HWND ChildHolding(HWND hParent, int controlId)
{
    HWND child = GetWindow(hParent, GW_CHILD);
    while (child && !GetDlgItem(child, controlId))
        child = GetWindow(child, GW_HWNDNEXT);
    return child;
}

class MainDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pSpooler = new qsmtest::SpoolerFixture;
        ASSERT_TRUE(s_pSpooler->InstallPrinter(PrinterName(), L"FILE:", qsmtest::SpoolerFixture::QuillorDriver()));
    }
    static void TearDownTestSuite() { delete std::exchange(s_pSpooler, nullptr); }

    void SetUp() override
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillor><version number=\"3.1\"/><language name=\"en\">";
        for (UINT id : {6, 7, 8, 9, 10, 11, 12, 16, 17, 19, 20, 21, 22, 23, 25, 26, 40, 41})
            xml += "<text id=\"" + std::to_string(id) + "\">T" + std::to_string(id) + "</text>";
        m_Folder.Write(L"quillor.xml", xml + "</language></quillor>");
        m_Registry.SetPath(m_Folder.Path());
        m_Registry.SetUpdateTime(L"50");
        m_Registry.SetTcpPort(m_Lm.Port());
        // A shown window's worker polls: a quiet cycle, every command answered at once.
        const char* const answers[] = {"\x85", "\x89\x00\x2C\x01", "\x81\x00\x32", "\x82\x00\x10", "\x83\x00\x00", "\x86\x00MC-1", "\x87\x00Job"};
        const size_t lengths[] = {2, 4, 3, 3, 3, 6, 5};
        const uint8_t commands[] = {5, 9, 1, 2, 3, 6, 7};
        for (size_t i = 0; i < 7; ++i)
            m_Lm.OnCommand(commands[i], qsmtest::LmReply::Answer(std::string(answers[i], lengths[i])));
        mrvAPI::mrvLanguages::Load();
        mrvAPI::mrvPrinter::Enumerate(L"QUILLOR");
        m_pPrinter.reset(mrvAPI::mrvPrinter::Find(PrinterName().c_str()));
        ASSERT_NE(m_pPrinter, nullptr);
    }
    void TearDown() override
    {
        DestroyDialog();
        mrvAPI::mrvPrinter::Clear();
        mrvAPI::mrvLanguages::Clear();
    }

    // Builds and creates the dialog hidden, as the tray window does.
    void Make()
    {
        m_pDialog = std::make_unique<mrvMainDialog>(*m_pPrinter);
        m_pDialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        m_pDialog->Hide();
    }
    void DestroyDialog()
    {
        if (m_pDialog)
            m_pDialog->Destroy();
        m_pDialog.reset();
    }
    HWND Dlg() const { return m_pDialog->GetHwnd(); }
    HWND Tab() const { return GetDlgItem(Dlg(), IDC_TAB); }
    HWND MonitorPage() const { return ChildHolding(Dlg(), IDC_STATUS_LIST); }
    HWND InfoPage() const { return ChildHolding(Dlg(), IDC_FILE_LIST); }
    // What the tab control does on a click: select, then notify its parent.
    void SelectTab(int index)
    {
        SendMessageW(Tab(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        NMHDR header = {Tab(), IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(Dlg(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
    }
    static std::wstring PrinterName() { return qsmtest::SpoolerFixture::Unique(L"Quillor Main"); }

    qsmtest::DebugCapture m_Debug;
    qsmtest::FakeLanguageMonitor m_Lm;
    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
    std::unique_ptr<mrvMainDialog> m_pDialog;
    std::unique_ptr<mrvAPI::mrvPrinter> m_pPrinter;

private:
    static inline qsmtest::SpoolerFixture* s_pSpooler = nullptr;
};

} // namespace mdtest
