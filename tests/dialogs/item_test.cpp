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
using uitest::TabText;

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

    template <class T>
    static T* Add(mrvDialog& dialog, UINT id)
    {
        T* pItem = new T(&dialog, id);
        dialog.AddItem(pItem);
        return pItem;
    }

    uitest::TestLanguage m_Language;
    RecordingDialog m_Owner{"Owner"};
    RecordingDialog m_Info{"Info", &m_Owner};
    RecordingDialog m_Monitor{"Monitor", &m_Owner};
};

} // namespace

TEST_F(Items, ListBoxKeepsEveryLineAcrossClearAndTranslates)
{
    auto* pList = Add<mrvListBox>(m_Info, IDC_FILE_LIST);
    HWND hList = GetDlgItem(m_Info.GetHwnd(), IDC_FILE_LIST);
    pList->AddText(7, false);
    pList->AddText(L"literal", true);
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"text7", L"literal"}));

    pList->Clear();
    EXPECT_EQ(SendMessageW(hList, LB_GETCOUNT, 0, 0), 0);
    pList->AddText(8, true);
    pList->AddText(9, false);
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"text8", L"text9"}));

    // Everything recorded comes back, in the new language; the literal line stays as it was.
    m_Language.Load("neu");
    pList->Translate();
    EXPECT_EQ(ListLines(hList), (std::vector<std::wstring>{L"neu7", L"literal", L"neu8", L"neu9"}));
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

TEST_F(Items, ProgressBarRangeAndClampedPositions)
{
    auto* pBar = Add<mrvProgressBar>(m_Monitor, IDC_INK_LEVEL);
    HWND hBar = GetDlgItem(m_Monitor.GetHwnd(), IDC_INK_LEVEL);
    PBRANGE range = {};
    SendMessageW(hBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    const struct {
        UINT value;
        LRESULT shown;
    } cases[] = {{37, 37}, {100, 100}, {255, 100}, {0, 0}};
    for (const auto& c : cases) {
        pBar->SetPos(c.value);
        EXPECT_EQ(SendMessageW(hBar, PBM_GETPOS, 0, 0), c.shown) << c.value;
    }
}

TEST_F(Items, TabsKeepTheirOrderTranslateAndShowTheSelectedPage)
{
    auto* pTab = Add<mrvTabControl>(m_Owner, IDC_TAB);
    HWND hTab = GetDlgItem(m_Owner.GetHwnd(), IDC_TAB);
    pTab->AddTab(11, &m_Monitor);
    pTab->AddTab(12, &m_Info);
    pTab->AddTab(13, nullptr);
    ASSERT_EQ(SendMessageW(hTab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TabText(hTab, 0), L"text11");
    EXPECT_EQ(TabText(hTab, 2), L"text13");

    m_Language.Load("neu");
    pTab->Translate();
    EXPECT_EQ(TabText(hTab, 0), L"neu11");
    EXPECT_EQ(TabText(hTab, 1), L"neu12");
    EXPECT_EQ(TabText(hTab, 2), L"neu13");

    m_Owner.Show();
    const struct {
        int selected;
        bool monitor, info;
    } cases[] = {{0, true, false}, {1, false, true}, {2, false, false}}; // the page-less tab hides both
    for (const auto& c : cases) {
        SendMessageW(hTab, TCM_SETCURSEL, c.selected, 0);
        pTab->ShowSelectedPage();
        EXPECT_EQ(IsWindowVisible(m_Monitor.GetHwnd()) != FALSE, c.monitor) << c.selected;
        EXPECT_EQ(IsWindowVisible(m_Info.GetHwnd()) != FALSE, c.info) << c.selected;
    }
}

TEST_F(Items, PageAreaStartsBelowTheFirstTabHeader)
{
    auto* pTab = Add<mrvTabControl>(m_Owner, IDC_TAB);
    HWND hTab = GetDlgItem(m_Owner.GetHwnd(), IDC_TAB);
    // The main dialog asks before it adds the first tab: the control reports
    // its header height already.
    RECT early = {};
    pTab->GetPageRect(&early);

    pTab->AddTab(11, nullptr);
    RECT header = {};
    ASSERT_TRUE(SendMessageW(hTab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header)));
    ASSERT_GT(header.bottom - header.top, 0);
    RECT placed = {4, 8, 4 + 212, 8 + 328}; // the tab control in template units
    MapDialogRect(m_Owner.GetHwnd(), &placed);
    placed.top += header.bottom - header.top;

    RECT area = {};
    pTab->GetPageRect(&area);
    EXPECT_TRUE(EqualRect(&area, &placed));
    EXPECT_TRUE(EqualRect(&early, &area));
    EXPECT_EQ(pTab->GetPageLeft(), area.left);
    EXPECT_EQ(pTab->GetPageTop(), area.top);
}

TEST_F(Items, PopupMenuItemsAndTracking)
{
    auto* pMenu = Add<mrvPopupMenu>(m_Owner, 0);
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
    HWND hOwner = m_Owner.GetHwnd();
    std::atomic<bool> seen(false);
    std::thread chooser([&] {
        const ULONGLONG end = GetTickCount64() + 5000;
        while (GetTickCount64() < end) {
            HWND hPopup = FindWindowW(L"#32768", nullptr);
            if (hPopup && IsWindowVisible(hPopup)) {
                seen = true;
                PostMessageW(hOwner, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageW(hOwner, WM_KEYDOWN, VK_RETURN, 0);
                return;
            }
            Sleep(10);
        }
        PostMessageW(hOwner, WM_CANCELMODE, 0, 0);
    });
    qsmtest::DebugCapture capture;
    m_Owner.Show();
    pMenu->TrackMenu(hOwner);
    chooser.join();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(capture.Contains("TrackMenu\n"));
    const auto chosen = [&] {
        for (const uitest::Received& r : m_Owner.m_Received)
            if (r.message == WM_COMMAND && LOWORD(r.wParam) == 2000)
                return true;
        return false;
    };
    EXPECT_TRUE(uitest::PumpUntil(chosen, 2000));
    EXPECT_EQ(m_Owner.Count(WM_NULL, hOwner), 1u);
}
