// Shows the Monitor and Info pages of a test printer inside a window like the
// main dialog, so that scripts/screenshots.sh can take pictures of them.
//
//   page_screenshot.exe <monitor|info> <ready file> <done file> <language folder>
//
// Writes "<left> <top> <width> <height>" of the window into the ready file once
// it is painted, and ends when the done file appears (or after 60 s).
#include "info.h"
#include "screenshot_host.h"
#include "item.h"
#include "language.h"
#include "monitor.h"
#include "printer.h"
#include "registry_fixture.h"
#include "resource.h"
#include "spooler_fixture.h"
#include "tabcontrol.h"
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <string>

using namespace mrvAPI;

namespace {

// Switches pages like the main dialog does.
class TestMainDialog : public mrvDialog {
public:
    TestMainDialog() : mrvDialog("MainDlg", nullptr) {}
    INT_PTR DlgProc(HWND, UINT uMsg, WPARAM, LPARAM lParam) override
    {
        if (uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TCN_SELCHANGE) {
            if (auto* pTab = static_cast<mrvTabControl*>(GetItem(IDC_TAB)))
                pTab->ShowSelectedPage();
            return 1;
        }
        return 0;
    }
};

int Run(const std::wstring& page, const std::wstring& readyFile, const std::wstring& doneFile,
        const std::wstring& languageFolder)
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);

    qsmtest::RegistryFixture registry;
    registry.SetPath(languageFolder);
    mrvLanguages::Load();

    const std::wstring printerName = L"Quillor 2 Studio";
    const std::wstring driver = L"VESTRANO QUILLOR 2";
    qsmtest::SpoolerFixture spooler;
    if (!spooler.InstallPrinter(printerName, L"FILE:", driver))
        return 2;
    const mrvPrinter printer(printerName, L"FILE:", driver);

    HINSTANCE hInstance = GetModuleHandleW(nullptr);
    TestMainDialog main;
    main.Create(hInstance, IDD_MAIN_DIALOG, 20, 20);
    SetWindowTextW(main.GetHwnd(),
                   (mrvLanguages::GetText(6) + L" (" + printerName + L", " + printer.GetPort() + L")").c_str());
    auto* pTab = new mrvTabControl(&main, IDC_TAB);
    main.AddItem(pTab);
    const int x = pTab->GetPageLeft();
    const int y = pTab->GetPageTop() + 2;

    mrvMonitor monitor(&main, printer);
    monitor.Create(hInstance, IDD_MONITOR, x, y);
    monitor.Hide();
    pTab->AddTab(11, &monitor);
    mrvInfo info(&main, printer);
    info.Create(hInstance, IDD_INFO, x, y);
    info.Hide();
    pTab->AddTab(12, &info);
    monitor.Translate();
    info.Translate();

    monitor.AddStatus(42);
    monitor.AddNumber(300);
    monitor.AddStatus(40);
    monitor.AddStatus(41);
    monitor.SetInkLevel(72);
    monitor.SetUvLamp(35);
    monitor.SetMaterialCode("UV-CMYK-0815");
    monitor.SetPrintJob("Brochure spring.pdf");

    if (page == L"info")
        SendMessageW(pTab->GetHwnd(), TCM_SETCURSEL, 1, 0);
    pTab->ShowSelectedPage();
    main.Show();
    main.SetForeground();
    qsmtest::PumpFor(1500);

    if (!qsmtest::HoldForScreenshot(main.GetHwnd(), readyFile, doneFile))
        return 3;
    main.Destroy();
    mrvLanguages::Clear();
    return 0;
}

} // namespace

int main()
{
    return qsmtest::ScreenshotMain("usage: page_screenshot <monitor|info> <ready file> <done file> <language folder>", &Run);
}
