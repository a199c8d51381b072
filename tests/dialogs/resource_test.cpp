#include "resource.h"
#include "ui_support.h"
#include <tuple>
#include <string>
#include <vector>

using uitest::Instance;

// The windows' own tests find the controls by id and replace their texts; what
// only the templates decide is checked here, on the windows they make: the kind
// of each window and each control's class and the styles its behaviour rests on.
TEST(Resources, DialogTemplatesMakeTheExpectedWindowsAndControls)
{
    const struct {
        UINT id;
        DWORD style, exStyle; // bits that must be set
        std::vector<std::tuple<int, const wchar_t*, DWORD>> controls;
    } dialogs[] = {
        {IDD_MAIN_DIALOG, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, {{IDC_TAB, L"SysTabControl32", 0}}},
        {IDD_MONITOR,
         WS_CHILD | DS_CONTROL,
         0,
         {{IDC_HEADER, L"Static", SS_BITMAP | SS_SUNKEN},
          {IDC_STATUS_FRAME, L"Button", BS_GROUPBOX},
          {IDC_STATUS_LIST, L"ListBox", LBS_NOSEL},
          {IDC_INK_LEVEL, L"msctls_progress32", 0},
          {IDC_INK_CAPTION, L"Static", 0},
          {IDC_UV_LAMP, L"msctls_progress32", 0},
          {IDC_UV_CAPTION, L"Static", 0},
          {IDC_MAT_CODE_FRAME, L"Button", BS_GROUPBOX},
          {IDC_MAT_CODE, L"Edit", ES_READONLY | ES_AUTOHSCROLL},
          {IDC_PRINTJOB_FRAME, L"Button", BS_GROUPBOX},
          {IDC_JOB_NAME, L"Static", 0},
          {IDC_JOB_COUNT, L"Static", 0}}},
        {IDD_INFO, WS_CHILD | DS_CONTROL, 0,
         {{IDC_FILE_LIST, L"ListBox", LBS_NOSEL}, {IDC_SAVE_LOG, L"Button", WS_TABSTOP}}},
        {IDD_LOG_BOX, WS_CHILD, WS_EX_CLIENTEDGE, {{IDC_LOG_TEXT, L"Static", 0}}},
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
        EXPECT_EQ(count, static_cast<int>(d.controls.size())) << d.id;
        for (const auto& c : d.controls) {
            HWND hControl = GetDlgItem(hDlg, std::get<0>(c));
            ASSERT_NE(hControl, nullptr) << d.id << "/" << std::get<0>(c);
            wchar_t cls[64] = {};
            GetClassNameW(hControl, cls, 64);
            EXPECT_EQ(_wcsicmp(cls, std::get<1>(c)), 0) << d.id << "/" << std::get<0>(c);
            const DWORD style = std::get<2>(c);
            EXPECT_EQ(GetWindowLongW(hControl, GWL_STYLE) & style, static_cast<LONG>(style))
                << d.id << "/" << std::get<0>(c);
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
