#include "debug_capture.h"
#include "monitor.h"
#include "page_support.h"

using namespace mrvAPI;
using uitest::ControlText;
using uitest::ListLines;

namespace {

class MonitorPage : public pagetest::PageTest {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        if (HasFatalFailure())
            return;
        m_pPage = std::make_unique<mrvMonitor>(&m_Owner, *m_pPrinter);
        m_pPage->Create(uitest::Instance(), IDD_MONITOR, 4, 30);
        ASSERT_NE(m_pPage->GetHwnd(), nullptr);
        m_pPage->Translate();
    }
    void TearDown() override { m_pPage.reset(); }

    HWND Page() const { return m_pPage->GetHwnd(); }
    HWND Control(int id) const { return GetDlgItem(Page(), id); }
    LRESULT BarPos(int id) const { return SendMessageW(Control(id), PBM_GETPOS, 0, 0); }

    std::unique_ptr<mrvMonitor> m_pPage;
};

} // namespace

TEST_F(MonitorPage, TranslateSetsEveryCaptionAndEmptyJobLines)
{
    const struct {
        int id;
        const wchar_t* text;
    } captions[] = {
        {IDC_STATUS_FRAME, L"text7"}, {IDC_MAT_CODE_FRAME, L"text8"}, {IDC_INK_CAPTION, L"text9"},
        {IDC_UV_CAPTION, L"text10"},  {IDC_PRINTJOB_FRAME, L"text21"}, {IDC_JOB_COUNT, L"text22 0"},
        {IDC_JOB_NAME, L"text23 "},
    };
    for (const auto& c : captions)
        EXPECT_EQ(ControlText(Page(), c.id), c.text) << c.id;
    EXPECT_EQ(SendMessageW(Control(IDC_STATUS_LIST), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 0);
    EXPECT_FALSE(IsWindowVisible(Page()));

    // Clamping is the progress bar item's; here each value reaches its own bar.
    m_pPage->SetInkLevel(150);
    m_pPage->SetUvLamp(5);
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 100);
    EXPECT_EQ(BarPos(IDC_UV_LAMP), 5);
}

TEST_F(MonitorPage, StatusAndNumberLinesAndTheirTranslation)
{
    m_pPage->AddStatus(40);
    m_pPage->AddNumber(65535);
    m_pPage->AddStatus(41);
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)),
              (std::vector<std::wstring>{L"text40", L"text19 65535 text20", L"text41"}));

    // Status lines come back in the new language; number lines keep their text.
    m_Language.Load("neu");
    m_pPage->Translate();
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)),
              (std::vector<std::wstring>{L"neu40", L"text19 65535 text20", L"neu41"}));
    EXPECT_EQ(ControlText(Page(), IDC_STATUS_FRAME), L"neu7");
    EXPECT_EQ(ControlText(Page(), IDC_JOB_NAME), L"neu23 ");
    EXPECT_EQ(ControlText(Page(), IDC_JOB_COUNT), L"neu22 0");
}

TEST_F(MonitorPage, MaterialCodeAndPrintJobTexts)
{
    m_pPage->SetMaterialCode("UV-\xC3\x9C" "42"); // UTF-8 "UV-Ü42"
    EXPECT_EQ(ControlText(Page(), IDC_MAT_CODE), L"UV-\u00DC42");

    m_pPage->SetPrintJob("Brochure.pdf");
    EXPECT_EQ(ControlText(Page(), IDC_JOB_NAME), L"text23 Brochure.pdf");
    EXPECT_EQ(ControlText(Page(), IDC_JOB_COUNT), L"text22 0");

    // Lines are cut to 511 characters.
    m_pPage->SetPrintJob(std::string(600, 'j'));
    EXPECT_EQ(ControlText(Page(), IDC_JOB_NAME), L"text23 " + std::wstring(511 - 7, L'j'));
    EXPECT_EQ(mrvMonitor::QueuedJobCount(pagetest::MissingPrinter().GetName()), 0u);
}

TEST_F(MonitorPage, JobCountFollowsTheQueue)
{
    std::wstring name = m_PrinterName;
    HANDLE hPrinter = nullptr;
    ASSERT_TRUE(OpenPrinterW(&name[0], &hPrinter, nullptr));
    wchar_t document[] = L"queued";
    wchar_t datatype[] = L"RAW";
    DOC_INFO_1W doc = {document, nullptr, datatype};
    const DWORD job = StartDocPrinterW(hPrinter, 1, reinterpret_cast<BYTE*>(&doc));
    DWORD needed = 0, returned = 0;
    EnumJobsW(hPrinter, 0, 1000, 3, nullptr, 0, &needed, &returned);
    const bool reported = needed > 0;
    m_pPage->SetPrintJob("queued");
    const std::wstring countLine = ControlText(Page(), IDC_JOB_COUNT);
    if (job)
        EndDocPrinter(hPrinter);
    ClosePrinter(hPrinter);
    ASSERT_NE(job, 0u);
    if (!reported)
        GTEST_SKIP() << "Wine's EnumJobsW reports no job even while a document is open";
    EXPECT_EQ(countLine, L"text22 1");
}

TEST_F(MonitorPage, HeaderBitmapAndMessagesReachTheMainDialog)
{
    HBITMAP hShown = reinterpret_cast<HBITMAP>(SendMessageW(Control(IDC_HEADER), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(hShown, nullptr);
    BITMAP info = {};
    ASSERT_EQ(GetObjectW(hShown, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 300);
    EXPECT_EQ(info.bmHeight, 153);

    // Commands and notifications of the page's controls go to the main dialog,
    // with the page's window.
    m_Owner.m_Received.clear();
    SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(1234, BN_CLICKED), 0);
    EXPECT_EQ(m_Owner.Count(WM_COMMAND, Page()), 1u);
}

TEST_F(MonitorPage, DestroyedPageIgnoresFurtherCalls)
{
    HWND hPage = Page();
    m_pPage->Destroy();
    EXPECT_FALSE(IsWindow(hPage));
    m_pPage->AddStatus(40);
    m_pPage->AddNumber(1);
    m_pPage->SetInkLevel(5);
    m_pPage->SetMaterialCode("x");
    m_pPage->Translate();
    EXPECT_EQ(m_pPage->GetHwnd(), nullptr);
}
