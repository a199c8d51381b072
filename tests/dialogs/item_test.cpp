#include "debug_capture.h"
#include "item.h"
#include "resource.h"
#include "tabcontrol.h"
#include "ui_support.h"
#include <atomic>
#include <thread>

using namespace mrvAPI;
using uitest::Instance;
using uitest::ListLines;
using uitest::RecordingDialog;

namespace {

class Items : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Owner.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
        m_Dialog.Create(Instance(), IDD_INFO, -1, 0);
        m_Monitor.Create(Instance(), IDD_MONITOR, -1, 0);
    }

    uitest::TestLanguage m_Language;
    RecordingDialog m_Owner{"Owner"};
    RecordingDialog m_Dialog{"Items", &m_Owner};
    RecordingDialog m_Monitor{"Monitor", &m_Owner};
};

template <class T>
T* Add(mrvDialog& dialog, UINT id)
{
    T* pItem = new T(&dialog, id);
    dialog.AddItem(pItem);
    return pItem;
}

} // namespace

TEST_F(Items, ListBoxKeepsEveryLineAcrossClearAndTranslates)
{
    auto* pList = Add<mrvListBox>(m_Dialog, IDC_FILE_LIST);
    HWND hList = GetDlgItem(m_Dialog.GetHwnd(), IDC_FILE_LIST);
    pList->AddText(7, false);
    pList->AddText(L"literal", true);
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"text7", L"literal"}));

    pList->Clear();
    EXPECT_EQ(SendMessageW(hList, LB_GETCOUNT, 0, 0), 0);
    pList->AddText(8, true);
    pList->AddText(9, false);
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"text8", L"text9"}));
    EXPECT_EQ(pList->GetTextIds(), (std::vector<UINT>{7, 0, 8, 9}));

    // Everything recorded comes back, in the new language; the literal line stays as it was.
    m_Language.Load("neu");
    pList->Translate();
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"neu7", L"literal", L"neu8", L"neu9"}));
    EXPECT_EQ(pList->GetTextIds(), (std::vector<UINT>{7, 0, 8, 9}));
}

TEST_F(Items, ProgressBarRangeAndClampedPositions)
{
    RecordingDialog& page = m_Monitor;
    auto* pBar = Add<mrvProgressBar>(page, IDC_INK_LEVEL);
    HWND hBar = GetDlgItem(page.GetHwnd(), IDC_INK_LEVEL);
    PBRANGE range = {};
    SendMessageW(hBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);

    const struct {
        UINT value;
        LRESULT shown;
    } cases[] = {{0, 0}, {37, 37}, {100, 100}, {150, 100}, {255, 100}};
    for (const auto& c : cases) {
        pBar->SetPos(c.value);
        EXPECT_EQ(SendMessageW(hBar, PBM_GETPOS, 0, 0), c.shown) << c.value;
    }
}

TEST_F(Items, EditReplacesItsText)
{
    RecordingDialog& page = m_Monitor;
    auto* pEdit = Add<mrvEdit>(page, IDC_MAT_CODE);
    pEdit->SetText(L"M-0042");
    EXPECT_EQ(uitest::ControlText(page.GetHwnd(), IDC_MAT_CODE), L"M-0042");
    pEdit->SetText(L"");
    EXPECT_EQ(uitest::ControlText(page.GetHwnd(), IDC_MAT_CODE), L"");
}

TEST_F(Items, TabsKeepTheirOrderTranslateAndShowTheSelectedPage)
{
    RecordingDialog owner("Owner");
    owner.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    auto* pTab = Add<mrvTabControl>(owner, IDC_TAB);
    HWND hTab = GetDlgItem(owner.GetHwnd(), IDC_TAB);
    RecordingDialog first("First", &owner);
    first.Create(Instance(), IDD_MONITOR, -1, 0);
    RecordingDialog second("Second", &owner);
    second.Create(Instance(), IDD_INFO, -1, 0);

    pTab->AddTab(11, &first);
    pTab->AddTab(12, &second);
    pTab->AddTab(13, nullptr);
    ASSERT_EQ(SendMessageW(hTab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(uitest::TabText(hTab, 0), L"text11");
    EXPECT_EQ(uitest::TabText(hTab, 1), L"text12");
    EXPECT_EQ(uitest::TabText(hTab, 2), L"text13");
    ASSERT_EQ(pTab->GetTabs().size(), 3u);
    EXPECT_EQ(pTab->GetTabs()[1].pPage, &second);
    EXPECT_EQ(pTab->GetTabs()[1].textId, 12u);

    m_Language.Load("neu");
    pTab->Translate();
    EXPECT_EQ(uitest::TabText(hTab, 0), L"neu11");
    EXPECT_EQ(uitest::TabText(hTab, 2), L"neu13");

    owner.Show();
    pTab->ShowSelectedPage();
    EXPECT_TRUE(IsWindowVisible(first.GetHwnd()));
    EXPECT_FALSE(IsWindowVisible(second.GetHwnd()));
    SendMessageW(hTab, TCM_SETCURSEL, 1, 0);
    pTab->ShowSelectedPage();
    EXPECT_FALSE(IsWindowVisible(first.GetHwnd()));
    EXPECT_TRUE(IsWindowVisible(second.GetHwnd()));
    // The page-less tab hides both.
    SendMessageW(hTab, TCM_SETCURSEL, 2, 0);
    pTab->ShowSelectedPage();
    EXPECT_FALSE(IsWindowVisible(first.GetHwnd()));
    EXPECT_FALSE(IsWindowVisible(second.GetHwnd()));
}

TEST_F(Items, PageAreaStartsBelowTheFirstTabHeader)
{
    RecordingDialog owner("Owner");
    owner.Create(Instance(), IDD_MAIN_DIALOG, 30, 40);
    auto* pTab = Add<mrvTabControl>(owner, IDC_TAB);
    HWND hTab = GetDlgItem(owner.GetHwnd(), IDC_TAB);

    // The main dialog asks before it adds the first tab: the control reports
    // its header height already.
    RECT early = {};
    pTab->GetPageRect(&early);

    pTab->AddTab(11, nullptr);
    RECT header = {};
    ASSERT_TRUE(SendMessageW(hTab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header)));
    const LONG headerHeight = header.bottom - header.top;
    ASSERT_GT(headerHeight, 0);
    RECT placed = {4, 8, 4 + 212, 8 + 328}; // the tab control in template units
    MapDialogRect(owner.GetHwnd(), &placed);

    RECT area = {};
    pTab->GetPageRect(&area);
    EXPECT_EQ(area.left, placed.left);
    EXPECT_EQ(area.top, placed.top + headerHeight);
    EXPECT_EQ(area.right, placed.right);
    EXPECT_EQ(area.bottom, placed.bottom);
    EXPECT_EQ(early.left, area.left);
    EXPECT_EQ(early.top, area.top);
    EXPECT_EQ(pTab->GetPageLeft(), area.left);
    EXPECT_EQ(pTab->GetPageTop(), area.top);
}

TEST_F(Items, PopupMenuItemsAndTracking)
{
    RecordingDialog owner("Tray");
    owner.Create(Instance(), IDD_MAIN_DIALOG, -1, 0);
    auto* pMenu = Add<mrvPopupMenu>(owner, 0);
    pMenu->AppendItem(4, 2000);
    pMenu->AppendSeparator();
    pMenu->AppendItem(L"Printer A", 3000);
    HMENU hMenu = pMenu->GetHmenu();
    ASSERT_EQ(GetMenuItemCount(hMenu), 3);
    wchar_t text[64] = {};
    GetMenuStringW(hMenu, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"text4");
    EXPECT_EQ(GetMenuItemID(hMenu, 0), 2000u);
    EXPECT_EQ(GetMenuState(hMenu, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    GetMenuStringW(hMenu, 2, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Printer A");
    EXPECT_EQ(GetMenuItemID(hMenu, 2), 3000u);

    // While the menu is open, pick the first item with the keyboard from another
    // thread; the menu's own loop reads the keys from this thread's queue.
    std::atomic<bool> seen(false);
    std::thread chooser([&] {
        const ULONGLONG end = GetTickCount64() + 5000;
        while (GetTickCount64() < end) {
            HWND hPopup = FindWindowW(L"#32768", nullptr);
            if (hPopup && IsWindowVisible(hPopup)) {
                seen = true;
                PostMessageW(owner.GetHwnd(), WM_KEYDOWN, VK_DOWN, 0);
                PostMessageW(owner.GetHwnd(), WM_KEYDOWN, VK_RETURN, 0);
                return;
            }
            Sleep(10);
        }
        PostMessageW(owner.GetHwnd(), WM_CANCELMODE, 0, 0);
    });
    qsmtest::DebugCapture capture;
    owner.Show();
    pMenu->TrackMenu(owner.GetHwnd());
    chooser.join();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(capture.Contains("TrackMenu\n"));
    const auto chosen = [&] {
        for (const uitest::Received& r : owner.m_Received)
            if (r.message == WM_COMMAND && LOWORD(r.wParam) == 2000)
                return true;
        return false;
    };
    EXPECT_TRUE(uitest::PumpUntil(chosen, 2000));
    EXPECT_EQ(owner.Count(WM_NULL, owner.GetHwnd()), 1u);
}

TEST_F(Items, ListBoxScrollsTheNewestSelectedLineIntoView)
{
    // The status list has no selection; the newest line must still come into view.
    auto* pList = Add<mrvListBox>(m_Monitor, IDC_STATUS_LIST);
    HWND hList = GetDlgItem(m_Monitor.GetHwnd(), IDC_STATUS_LIST);
    RECT client = {};
    GetClientRect(hList, &client);
    const LRESULT itemHeight = SendMessageW(hList, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_GT(itemHeight, 0);
    const LRESULT visible = client.bottom / itemHeight;
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
