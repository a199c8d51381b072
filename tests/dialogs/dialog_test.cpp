#include "../base/thrown.h"
#include "debug_capture.h"
#include "exception.h"
#include "item.h"
#include "ui_support.h"
#include "utils.h"
#include <atomic>
#include <thread>

using namespace mrvAPI;
using uitest::RecordingDialog;

namespace {

// Counts its deletions, to see who deletes an item and how often.
struct CountedItem : mrvItem {
    CountedItem(mrvDialog* pDialog, UINT id, int* pDeleted) : mrvItem(pDialog, id), m_pDeleted(pDeleted) {}
    ~CountedItem() override { ++*m_pDeleted; }
    int* m_pDeleted;
};

} // namespace

TEST(DialogList, MessagesDuringCreateGoToTheEarliestDialogAndAThrowReleasesTheList)
{
    INT_PTR(CALLBACK * procedure)(HWND, UINT, WPARAM, LPARAM) = nullptr;
    {
        qsmtest::DebugCapture capture;
        RecordingDialog first("First", 5);
        RecordingDialog second("Second");
        EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Add dialog <First> to global list.\n", "Add dialog <Second> to global list.\n"}));
        second.Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        const HWND hDlg = second.GetHwnd();
        ASSERT_NE(hDlg, nullptr);
        // WM_INITDIALOG is sent before CreateDialogParamW returns the handle; once
        // it is stored, the owner gets its messages.
        EXPECT_EQ(first.Count(WM_INITDIALOG, hDlg), 1u);
        EXPECT_EQ(second.Count(WM_INITDIALOG) + second.m_Creates, 1u);
        SendMessageW(hDlg, WM_USER + 5, 11, 22);
        EXPECT_EQ(second.Count(WM_USER + 5, hDlg) + first.Count(WM_USER + 5), 1u);

        // Nonzero becomes TRUE; a window nobody owns goes to the earliest dialog.
        procedure = reinterpret_cast<decltype(procedure)>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
        EXPECT_EQ(procedure(GetDesktopWindow(), WM_USER + 2, 0, 0), TRUE);
        EXPECT_EQ(first.Count(WM_USER + 2, GetDesktopWindow()), 1u);
        EXPECT_EQ(procedure(hDlg, WM_USER + 3, 0, 0), FALSE);
        // Constructing a dialog takes the list lock; from another thread that only
        // succeeds when the throw let go of it.
        EXPECT_THROW(procedure(hDlg, WM_USER + 7, 0, 0), mrvException);
        std::atomic<bool> constructed(false);
        std::thread other([&] {
            mrvDialog late("Late", nullptr);
            constructed = true;
        });
        const bool released = qsmtest::PumpUntil([&] { return constructed.load(); }, 5000);
        EXPECT_TRUE(released);
        released ? other.join() : other.detach();
    }
    EXPECT_EQ(procedure(GetDesktopWindow(), WM_USER + 4, 0, 0), FALSE); // no dialog left in the list
}

TEST(DialogCreate, MissingTemplateThrowsKeepsNoWindowAcceleratorsReachTheDialogAndDestroyDeletesItemsOnce)
{
    RecordingDialog broken("Broken");
    const std::string message = "Can't create dialog box <Broken>." + mrvUtils::LastErrorSuffix(ERROR_RESOURCE_NAME_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Thrown([&] { broken.Create(GetModuleHandleW(nullptr), 9999, -1, 0); })
                  .rfind(message + " Caused in <mrvAPI::mrvDialog::Create()> [baseapi\\src\\dialog, ", 0),
              0u);
    EXPECT_EQ(broken.GetHwnd(), nullptr);
    EXPECT_EQ(broken.m_Creates, 0);

    int deleted = 0;
    {
        RecordingDialog dialog("Twice");
        EXPECT_EQ(Thrown([&] { dialog.AddItem(nullptr); }, mrvE_POINTER)
                      .rfind("Invalid null pointer parameter <pItem>. Caused in <mrvAPI::mrvDialog::AddItem()> [baseapi\\inc\\dialog, ", 0),
                  0u);
        dialog.Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        const HWND hWnd = dialog.GetHwnd();
        auto* pTab = new CountedItem(&dialog, IDC_TAB, &deleted);
        dialog.AddItem(pTab);
        dialog.AddItem(new CountedItem(&dialog, IDC_TAB, &deleted));
        dialog.AddItem(new CountedItem(&dialog, 4242, &deleted));
        EXPECT_EQ(dialog.GetItem(IDC_TAB), pTab); // the first match
        EXPECT_NE(pTab->GetHwnd(), nullptr);
        EXPECT_EQ(dialog.GetItem(4242)->GetHwnd(), nullptr);
        EXPECT_EQ(dialog.GetItem(4243), nullptr);
        // Accelerators go to the dialog; a quit message ends its pump.
        const HACCEL hAccel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
        ASSERT_NE(hAccel, nullptr);
        for (WPARAM key : {VK_F5, VK_F6})
            PostMessageW(hWnd, WM_KEYDOWN, key, 0);
        PostMessageW(hWnd, WM_USER + 9, 1, 2);
        PostQuitMessage(0);
        dialog.MessagePump(hAccel);
        EXPECT_EQ(dialog.Count(WM_COMMAND), 1u);
        EXPECT_EQ(dialog.Count(WM_COMMAND, hWnd, MAKEWPARAM(IDM_REFRESH, 1)), 1u); // 1: from an accelerator
        EXPECT_EQ(dialog.Count(WM_USER + 9, hWnd), 1u);
        DestroyAcceleratorTable(hAccel);
        dialog.Destroy();
        EXPECT_EQ(deleted, 3);
        EXPECT_FALSE(IsWindow(hWnd));
        EXPECT_EQ(dialog.GetItem(IDC_TAB), nullptr);
        EXPECT_EQ(dialog.m_Destroys, 1);
        dialog.Destroy();
        EXPECT_EQ(dialog.GetHwnd(), nullptr);
    }
    EXPECT_EQ(deleted, 3);
}
