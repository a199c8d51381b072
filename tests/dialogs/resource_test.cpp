#include "resource.h"
#include "ui_support.h"
#include <utility>
#include <string>
#include <vector>

using uitest::Instance;

// The windows' own tests find the controls by id and drive them with their class's
// messages; what only the templates decide is checked here, on the windows they
// make: the kind of each window and the styles the controls' behaviour rests on.
TEST(Resources, DialogTemplatesMakeTheExpectedWindowsAndControls)
{
    const struct {
        UINT id;
        DWORD style, exStyle; // bits that must be set
        int controls;
        std::vector<std::pair<int, DWORD>> styled;
    } dialogs[] = {
        {IDD_MAIN_DIALOG, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, 1, {}},
        {IDD_MONITOR, WS_CHILD | DS_CONTROL, 0, 12,
         {{IDC_HEADER, SS_BITMAP | SS_SUNKEN}, {IDC_STATUS_FRAME, BS_GROUPBOX}, {IDC_STATUS_LIST, LBS_NOSEL},
          {IDC_MAT_CODE_FRAME, BS_GROUPBOX}, {IDC_MAT_CODE, ES_READONLY | ES_AUTOHSCROLL}, {IDC_PRINTJOB_FRAME, BS_GROUPBOX}}},
        {IDD_INFO, WS_CHILD | DS_CONTROL, 0, 2, {{IDC_FILE_LIST, LBS_NOSEL}, {IDC_SAVE_LOG, WS_TABSTOP}}},
        {IDD_LOG_BOX, WS_CHILD, WS_EX_CLIENTEDGE, 1, {{IDC_LOG_TEXT, 0}}},
    };
    uitest::RecordingDialog owner("Owner");
    owner.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    for (const auto& d : dialogs) {
        uitest::RecordingDialog dialog("Template", d.id == IDD_MAIN_DIALOG ? nullptr : &owner);
        dialog.Create(Instance(), d.id, -1, 0);
        HWND hDlg = dialog.GetHwnd();
        ASSERT_NE(hDlg, nullptr) << d.id;
        EXPECT_EQ(GetWindowLongW(hDlg, GWL_STYLE) & d.style, static_cast<LONG>(d.style)) << d.id;
        EXPECT_EQ(GetWindowLongW(hDlg, GWL_EXSTYLE) & d.exStyle, static_cast<LONG>(d.exStyle)) << d.id;
        int count = 0;
        for (HWND h = GetWindow(hDlg, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
            ++count;
        EXPECT_EQ(count, d.controls) << d.id;
        for (const auto& c : d.styled) {
            HWND hControl = GetDlgItem(hDlg, c.first);
            ASSERT_NE(hControl, nullptr) << d.id << "/" << c.first;
            EXPECT_EQ(GetWindowLongW(hControl, GWL_STYLE) & c.second, static_cast<LONG>(c.second)) << c.first;
        }
    }
}

TEST(Resources, IconSizesAndManifest)
{
    for (int size : {16, 32}) {
        HICON hIcon = static_cast<HICON>(
            LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_STATUSMONITOR), IMAGE_ICON, size, size, 0));
        ASSERT_NE(hIcon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(hIcon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(hIcon);
    }

    // The header bitmap is checked by the Monitor page, the accelerator table by the pump test.
    HRSRC hManifest = FindResourceW(Instance(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(hManifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(Instance(), hManifest)));
    const std::string manifest(text, SizeofResource(Instance(), hManifest));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
}
