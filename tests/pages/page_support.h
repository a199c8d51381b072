#pragma once
// A main-dialog stand-in with an installed test printer, shared by the page tests.
#include "../dialogs/ui_support.h"
#include "printer.h"
#include "resource.h"
#include "spooler_fixture.h"
#include <memory>
#include <winspool.h>

namespace pagetest {

// The record of a printer that the spooler does not know.
inline mrvAPI::mrvPrinter MissingPrinter()
{
    return mrvAPI::mrvPrinter(L"No Such Printer " + qsmtest::SpoolerFixture::Tag(), L"FILE:",
                              L"VESTRANO QUILLOR 2");
}

// The parent main dialog (template 101, hidden) and a printer of the test driver.
class PageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_PrinterName = qsmtest::SpoolerFixture::Unique(L"Quillor Page Test");
        ASSERT_TRUE(m_Spooler.InstallPrinter(m_PrinterName, L"FILE:", qsmtest::SpoolerFixture::QuillorDriver()));
        m_pPrinter = std::make_unique<mrvAPI::mrvPrinter>(m_PrinterName, L"FILE:",
                                                          qsmtest::SpoolerFixture::QuillorDriver());
        m_Owner.Create(uitest::Instance(), IDD_MAIN_DIALOG, -1, 0);
        ASSERT_NE(m_Owner.GetHwnd(), nullptr);
    }

    uitest::TestLanguage m_Language;
    qsmtest::SpoolerFixture m_Spooler;
    std::wstring m_PrinterName;
    std::unique_ptr<mrvAPI::mrvPrinter> m_pPrinter;
    uitest::RecordingDialog m_Owner{"MainDlg"};
};

} // namespace pagetest
