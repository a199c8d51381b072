#pragma once
// A main-dialog stand-in with an installed test printer, shared by the page tests.
#include "../dialogs/ui_support.h"
#include "printer.h"
#include "spooler_fixture.h"
#include <memory>

namespace pagetest {

// The record of a printer that the spooler does not know.
inline mrvAPI::mrvPrinter MissingPrinter(const std::wstring& driver = L"VESTRANO QUILLOR 2")
{
    return mrvAPI::mrvPrinter(L"No Such Printer " + qsmtest::SpoolerFixture::Tag(), L"FILE:", driver);
}

// The parent main dialog (hidden), a printer of the test driver and the page made by Create.
template <class Page>
class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring name = qsmtest::SpoolerFixture::Unique(L"Quillor Page Test");
        ASSERT_TRUE(m_Spooler.InstallPrinter(name, L"FILE:", qsmtest::SpoolerFixture::QuillorDriver()));
        m_pPrinter = std::make_unique<mrvAPI::mrvPrinter>(name, L"FILE:", qsmtest::SpoolerFixture::QuillorDriver());
        m_Owner.Create(uitest::Instance(), IDD_MAIN_DIALOG, -1, 0);
    }
    void TearDown() override { m_pPage.reset(); }
    void Create(const mrvAPI::mrvPrinter& printer, UINT templateId)
    {
        m_pPage = std::make_unique<Page>(&m_Owner, printer);
        m_pPage->Create(uitest::Instance(), templateId, 4, 30);
        ASSERT_NE(Dlg(), nullptr);
    }
    HWND Dlg() const { return m_pPage->GetHwnd(); }
    HWND Control(int id) const { return GetDlgItem(Dlg(), id); }

    uitest::TestLanguage m_Language;
    qsmtest::SpoolerFixture m_Spooler;
    std::unique_ptr<mrvAPI::mrvPrinter> m_pPrinter;
    uitest::RecordingDialog m_Owner{"MainDlg"};
    std::unique_ptr<Page> m_pPage;
};

} // namespace pagetest
