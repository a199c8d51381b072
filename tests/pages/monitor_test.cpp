#include "monitor.h"
#include "page_support.h"

using namespace mrvAPI;
using uitest::ControlText;
using uitest::ListLines;
using Lines = std::vector<std::wstring>;

namespace {

class MonitorPage : public pagetest::PageTest<mrvMonitor> {
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        if (!HasFatalFailure())
            Create(*m_pPrinter, IDD_MONITOR);
        if (!HasFatalFailure())
            m_pPage->Translate();
    }
    LRESULT BarPos(int id) const { return SendMessageW(Control(id), PBM_GETPOS, 0, 0); }
};

} // namespace

TEST_F(MonitorPage, CaptionsBarsAndHeader)
{
    const std::pair<int, const wchar_t*> captions[] = {
        {IDC_STATUS_FRAME, L"text7"}, {IDC_MAT_CODE_FRAME, L"text8"}, {IDC_INK_CAPTION, L"text9"},   {IDC_UV_CAPTION, L"text10"},
        {IDC_PRINTJOB_FRAME, L"text21"}, {IDC_JOB_COUNT, L"text22 0"}, {IDC_JOB_NAME, L"text23 "},
    };
    for (const auto& c : captions)
        EXPECT_EQ(ControlText(Dlg(), c.first), c.second) << c.first;
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 0);
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    // The bars run from 0 to 100; each value reaches its own bar.
    m_pPage->SetInkLevel(150);
    m_pPage->SetUvLamp(5);
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 100);
    EXPECT_EQ(BarPos(IDC_UV_LAMP), 5);
    BITMAP info = {}; // the header shows the resource bitmap
    const auto hShown = reinterpret_cast<HBITMAP>(SendMessageW(Control(IDC_HEADER), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_EQ(GetObjectW(hShown, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 300);
}

TEST_F(MonitorPage, StatusAndNumberLinesAndTheirTranslation)
{
    m_pPage->AddStatus(40);
    m_pPage->AddNumber(65535);
    m_pPage->AddStatus(41);
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)), (Lines{L"text40", L"text19 65535 text20", L"text41"}));
    // Status lines come back in the new language; number lines keep their text.
    m_Language.Load("neu");
    m_pPage->Translate();
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)), (Lines{L"neu40", L"text19 65535 text20", L"neu41"}));
    EXPECT_EQ(ControlText(Dlg(), IDC_STATUS_FRAME) + L"|" + ControlText(Dlg(), IDC_JOB_NAME) + L"|" + ControlText(Dlg(), IDC_JOB_COUNT),
              L"neu7|neu23 |neu22 0");
    // The newest line comes into view.
    for (int i = 0; i < 20; ++i)
        m_pPage->AddStatus(42);
    EXPECT_GT(SendMessageW(Control(IDC_STATUS_LIST), LB_GETTOPINDEX, 0, 0), 10);
}

TEST_F(MonitorPage, MaterialCodeAndPrintJobTextsAndNothingOnceDestroyed)
{
    m_pPage->SetMaterialCode("UV-\xC3\x9C" "42"); // UTF-8 "UV-Ü42"
    EXPECT_EQ(ControlText(Dlg(), IDC_MAT_CODE), L"UV-\u00DC42");
    m_pPage->SetPrintJob("Brochure.pdf");
    EXPECT_EQ(ControlText(Dlg(), IDC_JOB_NAME), L"text23 Brochure.pdf");
    m_pPage->SetPrintJob(std::string(600, 'j')); // lines are cut to 511 characters
    EXPECT_EQ(ControlText(Dlg(), IDC_JOB_NAME), L"text23 " + std::wstring(511 - 7, L'j'));
    EXPECT_EQ(mrvMonitor::QueuedJobCount(pagetest::MissingPrinter().GetName()), 0u);
    m_pPage->Destroy();
    m_pPage->AddStatus(40);
    m_pPage->AddNumber(1);
    m_pPage->SetInkLevel(5);
    m_pPage->SetMaterialCode("x");
    m_pPage->Translate();
    EXPECT_EQ(m_pPage->GetHwnd(), nullptr);
}
