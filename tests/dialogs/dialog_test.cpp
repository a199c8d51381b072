#include "debug_capture.h"
#include "exception.h"
#include "item.h"
#include "resource.h"
#include "ui_support.h"
#include "utils.h"
#include <atomic>
#include <thread>

using namespace mrvAPI;
using uitest::Instance;
using uitest::RecordingDialog;

namespace {

const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);

using DialogProcedure = INT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

// Counts its deletions, to see who deletes an item and how often.
class CountedItem : public mrvItem {
public:
    CountedItem(mrvDialog* pDialog, UINT id, int* pDeleted) : mrvItem(pDialog, id), m_pDeleted(pDeleted) {}
    ~CountedItem() override { ++*m_pDeleted; }

private:
    int* m_pDeleted;
};

// The first stack line of the mrvException the call throws.
template <class Call>
std::string Thrown(Call call, long code)
{
    try {
        call();
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), code);
        return e.GetStack().size() == 1 ? e.GetStack()[0] : std::string();
    }
    return "no exception";
}

} // namespace

TEST(DialogList, MessagesDuringCreateGoToTheEarliestDialog)
{
    qsmtest::DebugCapture capture;
    RecordingDialog first("First");
    RecordingDialog second("Second");
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Add dialog <First> to global list.\n",
                                                         "Add dialog <Second> to global list.\n"}));
    second.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    ASSERT_NE(second.GetHwnd(), nullptr);
    // WM_INITDIALOG is sent before CreateDialogParamW returns the handle.
    EXPECT_EQ(first.Count(WM_INITDIALOG, second.GetHwnd()), 1u);
    EXPECT_EQ(second.Count(WM_INITDIALOG), 0u);
    EXPECT_EQ(second.m_Creates, 1);

    // Once the handle is stored, the owner gets its messages.
    SendMessageW(second.GetHwnd(), WM_USER + 5, 11, 22);
    EXPECT_EQ(second.Count(WM_USER + 5, second.GetHwnd()), 1u);
    EXPECT_EQ(first.Count(WM_USER + 5), 0u);
}

TEST(DialogList, ProcedureAnswersWhatDlgProcSaysAndReleasesTheListWhenItThrows)
{
    DialogProcedure procedure = nullptr;
    {
        RecordingDialog handler("Handler", nullptr, 5);
        handler.m_OnMessage = [](UINT message) {
            if (message == WM_USER + 7)
                throw mrvException(mrvE_FAIL, "thrown", "f", "file", 1);
        };
        handler.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
        HWND hDlg = handler.GetHwnd();
        procedure = reinterpret_cast<DialogProcedure>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
        ASSERT_NE(procedure, nullptr);
        // Nonzero becomes TRUE; a window nobody owns goes to the earliest dialog.
        EXPECT_EQ(procedure(hDlg, WM_USER + 1, 0, 0), TRUE);
        EXPECT_EQ(procedure(GetDesktopWindow(), WM_USER + 2, 0, 0), TRUE);
        EXPECT_EQ(handler.Count(WM_USER + 2, GetDesktopWindow()), 1u);
        handler.m_Handled = 0;
        EXPECT_EQ(procedure(hDlg, WM_USER + 3, 0, 0), FALSE);

        // Constructing a dialog takes the list lock; from another thread that
        // only succeeds when the throw let go of it.
        EXPECT_THROW(procedure(hDlg, WM_USER + 7, 0, 0), mrvException);
        std::atomic<bool> constructed(false);
        std::thread other([&] {
            mrvDialog late("Late", nullptr);
            constructed = true;
        });
        const bool released = uitest::PumpUntil([&] { return constructed.load(); }, 5000);
        EXPECT_TRUE(released);
        released ? other.join() : other.detach();
    }
    // No dialog left in the list.
    EXPECT_EQ(procedure(GetDesktopWindow(), WM_USER + 4, 0, 0), FALSE);
}

TEST(DialogCreate, TemplatePositionOrGivenPositionWithoutResizingAndPagesAboveTheTabs)
{
    RecordingDialog centred("Centred");
    centred.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    RecordingDialog moved("Moved");
    moved.Create(Instance(), IDD_MAIN_DIALOG, 10, 20);
    RECT a = {}, b = {};
    GetWindowRect(centred.GetHwnd(), &a);
    GetWindowRect(moved.GetHwnd(), &b);
    EXPECT_NE(a.left, 10); // the template's own place: centred
    EXPECT_EQ(b.left, 10);
    EXPECT_EQ(b.top, 20);
    EXPECT_EQ(b.right - b.left, a.right - a.left);
    EXPECT_EQ(b.bottom - b.top, a.bottom - a.top);
    EXPECT_FALSE(IsWindowVisible(moved.GetHwnd()));

    // A child page is placed in its parent's client coordinates, above the tab control.
    RecordingDialog page("Page", &moved);
    page.Create(Instance(), IDD_MONITOR, 7, 9);
    POINT origin = {0, 0};
    MapWindowPoints(page.GetHwnd(), moved.GetHwnd(), &origin, 1);
    EXPECT_EQ(origin.x, 7);
    EXPECT_EQ(origin.y, 9);
    bool above = false; // GW_HWNDPREV walks towards the top of the sibling order
    for (HWND h = GetWindow(GetDlgItem(moved.GetHwnd(), IDC_TAB), GW_HWNDPREV); h; h = GetWindow(h, GW_HWNDPREV))
        above = above || h == page.GetHwnd();
    EXPECT_TRUE(above);
}

TEST(DialogCreate, MissingTemplateThrowsAndKeepsNoWindow)
{
    RecordingDialog broken("Broken");
    const std::string line = Thrown([&] { SetLastError(0xdeadbeef); broken.Create(Instance(), 9999, -1, 0); }, mrvE_FAIL);
    const std::string expected = "Can't create dialog box <Broken>." + mrvUtils::LastErrorSuffix(ERROR_RESOURCE_NAME_NOT_FOUND) +
                                 " Caused in <mrvAPI::mrvDialog::Create()> [baseapi\\src\\dialog, ";
    EXPECT_EQ(line.rfind(expected, 0), 0u) << line;
    EXPECT_EQ(broken.GetHwnd(), nullptr);
    EXPECT_EQ(broken.m_Creates, 0);
    // Safe without a window.
    broken.Show();
    broken.Hide();
    broken.SetForeground();
    broken.Update();
    broken.Destroy();
}

TEST(DialogItems, DestroyDeletesTheItemsOnceAndAddItemRejectsNull)
{
    int deleted = 0;
    {
        RecordingDialog dialog("Twice");
        const std::string line = Thrown([&] { dialog.AddItem(nullptr); }, mrvE_POINTER);
        EXPECT_EQ(line.rfind("Invalid null pointer parameter <pItem>. Caused in <mrvAPI::mrvDialog::AddItem()> [baseapi\\inc\\dialog, ", 0), 0u)
            << line;
        dialog.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
        HWND hWnd = dialog.GetHwnd();
        auto* pTab = new CountedItem(&dialog, IDC_TAB, &deleted);
        dialog.AddItem(pTab);
        dialog.AddItem(new CountedItem(&dialog, IDC_TAB, &deleted));
        dialog.AddItem(new CountedItem(&dialog, 4242, &deleted));
        EXPECT_EQ(dialog.GetItem(IDC_TAB), pTab); // the first match
        EXPECT_NE(pTab->GetHwnd(), nullptr);
        EXPECT_EQ(dialog.GetItem(4242)->GetHwnd(), nullptr);
        EXPECT_EQ(dialog.GetItem(4243), nullptr);

        dialog.Destroy();
        EXPECT_EQ(deleted, 3);
        EXPECT_FALSE(IsWindow(hWnd));
        EXPECT_EQ(dialog.GetHwnd(), nullptr);
        EXPECT_EQ(dialog.GetItem(IDC_TAB), nullptr);
        EXPECT_EQ(dialog.m_Destroys, 1);
        dialog.Destroy();
        dialog.Show();
        EXPECT_EQ(dialog.GetHwnd(), nullptr);
    }
    EXPECT_EQ(deleted, 3);
}

TEST(DialogPump, AcceleratorsGoToTheDialogAndQuitEndsThePump)
{
    RecordingDialog dialog("Pump");
    dialog.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    HACCEL hAccel = LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_NE(hAccel, nullptr);
    PostMessageW(dialog.GetHwnd(), WM_KEYDOWN, VK_F5, 0);
    PostMessageW(dialog.GetHwnd(), WM_KEYDOWN, VK_F6, 0);
    PostMessageW(dialog.GetHwnd(), WM_USER + 9, 1, 2);
    PostQuitMessage(0);
    dialog.MessagePump(hAccel);

    std::vector<WPARAM> commands;
    for (const uitest::Received& r : dialog.m_Received)
        if (r.message == WM_COMMAND)
            commands.push_back(r.wParam);
    EXPECT_EQ(commands, std::vector<WPARAM>{MAKEWPARAM(IDM_REFRESH, 1)}); // 1: from an accelerator
    EXPECT_EQ(dialog.Count(WM_USER + 9, dialog.GetHwnd()), 1u);
    DestroyAcceleratorTable(hAccel);
}
