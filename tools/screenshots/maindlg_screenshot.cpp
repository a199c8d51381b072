// Shows the real main dialog of a test printer, fed with a few status messages
// as its worker would post them, so that scripts/screenshots.sh can take
// pictures of it.
//
//   maindlg_screenshot.exe <monitor|info|logbox> <ready file> <done file> <language folder>
//
// "logbox" confirms a save-file dialog and stays in the running save. Writes
// "<left> <top> <width> <height>" of the window into the ready file once it is
// painted, and ends when the done file appears (or after 60 s).
#include "language.h"
#include "screenshot_host.h"
#include "maindlg.h"
#include "messages.h"
#include "printer.h"
#include "registry_fixture.h"
#include "resource.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "window_probe.h"
#include <commctrl.h>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

using namespace mrvAPI;

namespace {

void PostStatus(HWND hDlg)
{
    PostMessageW(hDlg, WM_USER + 1000, 42, 0);
    PostMessageW(hDlg, WM_USER + 1003, 300, 0);
    PostMessageW(hDlg, WM_USER + 1000, 40, 0);
    PostMessageW(hDlg, WM_USER + 1000, 41, 0);
    PostMessageW(hDlg, WM_USER + 1001, 72, 0);
    PostMessageW(hDlg, WM_USER + 1002, 35, 0);
    PostText(hDlg, WM_USER + 1004, "UV-CMYK-0815");
    PostText(hDlg, WM_USER + 1005, "Brochure spring.pdf");
}

void SelectInfoTab(HWND hDlg)
{
    HWND hTab = GetDlgItem(hDlg, IDC_TAB);
    SendMessageW(hTab, TCM_SETCURSEL, 1, 0);
    NMHDR header = {hTab, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(hDlg, WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
}

// Presses the save-log button and confirms the save-file dialog from another
// thread; the dialog then waits for a worker that pauses for a minute.
void StartLogSave(HWND hDlg, const std::wstring& path)
{
    std::thread confirm([path] {
        HWND hSaveAs = qsmtest::WaitForMessageBox(L"Save As", 20000);
        if (!hSaveAs)
            return;
        SendMessageW(GetDlgItem(hSaveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(hSaveAs, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDC_SAVE_LOG, BN_CLICKED), 0);
    confirm.join();
}

int Run(const std::wstring& mode, const std::wstring& readyFile, const std::wstring& doneFile,
        const std::wstring& languageFolder)
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);

    qsmtest::RegistryFixture registry;
    registry.SetPath(languageFolder);
    registry.SetUpdateTime(L"60000");
    mrvLanguages::Load();

    const std::wstring printerName = L"Quillor 2 Studio";
    qsmtest::SpoolerFixture spooler;
    if (!spooler.InstallPrinter(printerName, L"FILE:", L"VESTRANO QUILLOR 2"))
        return 2;
    mrvPrinter::Enumerate(L"QUILLOR");
    std::unique_ptr<mrvPrinter> printer(mrvPrinter::Find(printerName.c_str()));
    if (!printer)
        return 2;

    qsmtest::TempFolder folder;
    {
        mrvMainDialog dialog(*printer);
        dialog.Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        HWND hDlg = dialog.GetHwnd();
        PostStatus(hDlg);
        dialog.Show();
        dialog.SetForeground();
        if (mode == L"info" || mode == L"logbox")
            SelectInfoTab(hDlg);
        if (mode == L"logbox") {
            StartLogSave(hDlg, folder.FileName(L"printer.log"));
            qsmtest::PumpFor(500);
            // A page that repaints while the save runs must not paint over the box.
            for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                if (GetDlgItem(child, IDC_FILE_LIST))
                    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        qsmtest::PumpFor(1500);

        if (!qsmtest::HoldForScreenshot(hDlg, readyFile, doneFile))
            return 3;
        dialog.Destroy();
    }
    mrvPrinter::Clear();
    mrvLanguages::Clear();
    return 0;
}

} // namespace

int main()
{
    return qsmtest::ScreenshotMain("usage: maindlg_screenshot <monitor|info|logbox> <ready file> <done file> <language folder>", &Run);
}
