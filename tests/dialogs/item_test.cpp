#include "item.h"
#include "resource.h"
#include "tabcontrol.h"
#include "ui_support.h"

using namespace mrvAPI;
using uitest::Instance;
using uitest::RecordingDialog;

namespace {

// A main dialog template with the two page templates as its children.
class Items : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Owner.Create(Instance(), IDD_MAIN_DIALOG, 30, 40);
        m_Info.Create(Instance(), IDD_INFO, -1, 0);
        m_Monitor.Create(Instance(), IDD_MONITOR, -1, 0);
    }

    uitest::TestLanguage m_Language;
    RecordingDialog m_Owner{"Owner"};
    RecordingDialog m_Info{"Info", &m_Owner};
    RecordingDialog m_Monitor{"Monitor", &m_Owner};
};

} // namespace

// The pages' tests cover translation and clearing; here the view of a list box
// without selection, where the newest status must still come into view.
TEST_F(Items, ListBoxScrollsTheNewestSelectedLineIntoView)
{
    auto* pList = new mrvListBox(&m_Monitor, IDC_STATUS_LIST);
    m_Monitor.AddItem(pList);
    HWND hList = GetDlgItem(m_Monitor.GetHwnd(), IDC_STATUS_LIST);
    RECT client = {};
    GetClientRect(hList, &client);
    const LRESULT visible = client.bottom / SendMessageW(hList, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_GT(visible, 0);
    ASSERT_LT(visible, 12);

    for (UINT id = 40; id < 52; ++id)
        pList->AddText(id, true);
    const auto lastVisible = [&] { return SendMessageW(hList, LB_GETTOPINDEX, 0, 0) + visible - 1; };
    EXPECT_GE(lastVisible(), 11);

    // Lines added without select leave the view where it is.
    SendMessageW(hList, LB_SETTOPINDEX, 0, 0);
    pList->AddText(52, false);
    EXPECT_EQ(SendMessageW(hList, LB_GETTOPINDEX, 0, 0), 0);
    pList->Translate();
    EXPECT_EQ(SendMessageW(hList, LB_GETCOUNT, 0, 0), 13);
    EXPECT_GE(lastVisible(), 12);
}

// The main dialog's tests cover its two tabs and the page area; here translation
// and a tab without a page.
TEST_F(Items, TabsTranslateAndShowOnlyTheSelectedPage)
{
    auto* pTab = new mrvTabControl(&m_Owner, IDC_TAB);
    m_Owner.AddItem(pTab);
    HWND hTab = GetDlgItem(m_Owner.GetHwnd(), IDC_TAB);
    pTab->AddTab(11, &m_Monitor);
    pTab->AddTab(12, &m_Info);
    pTab->AddTab(13, nullptr);
    m_Language.Load("neu");
    pTab->Translate();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(uitest::TabText(hTab, i), L"neu" + std::to_wstring(11 + i));

    m_Owner.Show();
    const struct {
        int selected;
        bool monitor, info;
    } cases[] = {{0, true, false}, {1, false, true}, {2, false, false}};
    for (const auto& c : cases) {
        SendMessageW(hTab, TCM_SETCURSEL, c.selected, 0);
        pTab->ShowSelectedPage();
        EXPECT_EQ(IsWindowVisible(m_Monitor.GetHwnd()) != FALSE, c.monitor) << c.selected;
        EXPECT_EQ(IsWindowVisible(m_Info.GetHwnd()) != FALSE, c.info) << c.selected;
    }
}
