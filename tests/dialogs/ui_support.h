#pragma once
// Shared by the UI tests: a language file with recognisable texts, a dialog that
// records what reaches it, control readers, the fixtures of pages and of the tray.
#include "dialog.h"
#include "language.h"
#include "printer.h"
#include "process.h"
#include "registry_fixture.h"
#include "resource.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "window_probe.h"
#include <algorithm>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>

namespace uitest {

// The program registers the common control classes at start; so do the tests.
inline const bool g_CommonControls = (InitCommonControls(), true);

// Loads a catalogue whose text n (0 to 60) reads "<prefix><n>", language file
// version 2.5, unless it is loaded already: each load waits for this program's turn
// at the registry, which other test programs may hold for a whole test.
inline void LoadLanguage(const std::string& prefix)
{
    static std::string s_Loaded;
    static qsmtest::TempFolder s_Folder;
    if (s_Loaded == prefix && mrvAPI::mrvLanguages::IsLoaded())
        return;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillor><version number=\"2.5\"/><language name=\"en\">";
    for (int id = 0; id <= 60; ++id)
        xml += "<text id=\"" + std::to_string(id) + "\">" + prefix + std::to_string(id) + "</text>";
    s_Folder.Write(L"quillor.xml", xml + "</language></quillor>");
    qsmtest::RegistryFixture registry; // "Path" is read only while loading
    registry.SetPath(s_Folder.Path());
    mrvAPI::mrvLanguages::Load();
    s_Loaded = prefix;
}

// A dialog that records the message numbers and windows its DlgProc gets and
// counts the framework's calls. handled: what DlgProc answers.
class RecordingDialog : public mrvAPI::mrvDialog {
public:
    explicit RecordingDialog(const std::string& name, INT_PTR handled = 0) : mrvDialog(name, nullptr), m_Handled(handled) {}
    ~RecordingDialog() override { Destroy(); }

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM) override
    {
        m_Received.push_back({hWnd, uMsg, wParam});
        if (uMsg == WM_USER + 7)
            throw mrvAPI::mrvException(mrvAPI::mrvE_FAIL, "thrown", "f", "file", 1);
        return m_Handled;
    }
    void OnCreate() override { ++m_Creates; }
    void OnDestroy() override { ++m_Destroys; }
    // How many of these messages came, for this window and with this wParam if given.
    size_t Count(UINT message, HWND hWnd = nullptr, WPARAM wParam = WPARAM(-1)) const
    {
        return std::count_if(m_Received.begin(), m_Received.end(), [&](const Received& r) {
            return r.message == message && (!hWnd || r.hWnd == hWnd) && (wParam == WPARAM(-1) || r.wParam == wParam);
        });
    }

    struct Received {
        HWND hWnd;
        UINT message;
        WPARAM wParam;
    };
    std::vector<Received> m_Received;
    INT_PTR m_Handled;
    int m_Creates = 0, m_Destroys = 0;
};

inline std::wstring ControlText(HWND hDlg, int id)
{
    return qsmtest::WindowText(GetDlgItem(hDlg, id));
}

// The record of a printer that the spooler does not know.
inline mrvAPI::mrvPrinter MissingPrinter(const std::wstring& driver = L"VESTRANO QUILLOR 2")
{
    return mrvAPI::mrvPrinter(L"No Such Printer " + qsmtest::SpoolerFixture::Tag(), L"FILE:", driver);
}

// A page's test: the parent main dialog (hidden), a printer of the test driver, the
// page made by Create and the catalogue with prefix "text".
template <class Page>
class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadLanguage("text");
        ASSERT_TRUE(m_Spooler.InstallPrinter(m_Printer.GetName(), L"FILE:", m_Printer.GetDriver()));
        m_Owner.Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
    }
    void Create(const mrvAPI::mrvPrinter& printer, UINT templateId)
    {
        m_pPage = std::make_unique<Page>(&m_Owner, printer);
        m_pPage->Create(GetModuleHandleW(nullptr), templateId, 4, 30);
        ASSERT_NE(Dlg(), nullptr);
    }
    HWND Dlg() const { return m_pPage->GetHwnd(); }
    HWND Control(int id) const { return GetDlgItem(Dlg(), id); }

    qsmtest::SpoolerFixture m_Spooler;
    const mrvAPI::mrvPrinter m_Printer{qsmtest::SpoolerFixture::Unique(L"Quillor Page Test"), L"FILE:",
                                       qsmtest::SpoolerFixture::QuillorDriver()};
    RecordingDialog m_Owner{"MainDlg"};
    std::unique_ptr<Page> m_pPage;
};

// A test of the tray window, in this process or in the program's: the installed
// language file, and printers "Quillor <area> <letter>" of a driver for the area
// alone, which only they pass the filter of. Nothing listens on the TCP port.
class TrayTest : public ::testing::Test {
protected:
    explicit TrayTest(const std::wstring& area) : m_Area(area) {}
    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
        m_Registry.SetPrinterFilter(qsmtest::SpoolerFixture::Tag() + L" " + m_Area);
        m_Registry.SetUpdateTime(L"50");
        m_Registry.SetTcpPort(1);
        mrvAPI::mrvLanguages::Load(); // for the texts to expect
    }
    void TearDown() override { mrvAPI::mrvLanguages::Clear(); }
    std::wstring Name(const std::wstring& letter) const
    {
        return qsmtest::SpoolerFixture::Unique(L"Quillor " + m_Area + L" " + letter);
    }
    void Install(const std::wstring& letter, const std::wstring& port = L"FILE:")
    {
        ASSERT_TRUE(m_Spooler.InstallPrinter(Name(letter), port, qsmtest::SpoolerFixture::QuillorDriver() + L" " + m_Area));
    }

    const std::wstring m_Area;
    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
};

} // namespace uitest
