#include "buffer.h"
#include "exception.h"
#include <gtest/gtest.h>

using namespace mrvAPI;

TEST(ExceptionReport, LayoutAndCodeTexts)
{
    mrvException e(mrvE_PRINTER_OPEN, "Can't open printer.", "mrvAPI::mrvPrinter::Open", "baseapi\\src\\printer", 42);
    EXPECT_EQ(e.GetReport("\n"), "Exception caused:\n"
                                 "Code: 0xe000f000\n"
                                 "Text: No description [???].\n"
                                 "Stack: \n"
                                 "Can't open printer. Caused in <mrvAPI::mrvPrinter::Open()> [baseapi\\src\\printer, 42].\n");
    EXPECT_EQ(e.GetReport("|"), "Exception caused:|Code: 0xe000f000|Text: No description [???].|Stack: |"
                                "Can't open printer. Caused in <mrvAPI::mrvPrinter::Open()> [baseapi\\src\\printer, 42].|");

    const struct {
        long code;
        const char* codeLine;
        const char* text;
    } cases[] = {
        {mrvE_FAIL, "Code: 0x80004005", "General failure [E_FAIL]."},
        {mrvE_POINTER, "Code: 0x80004003", "Invalid pointer [E_POINTER]."},
        {mrvE_OUTOFMEMORY, "Code: 0x8007000e", "Out of memory [E_OUTOFMEMORY]."},
        {mrvE_INVALIDARG, "Code: 0x80070057", "Invalid parameter [E_INVALIDARG]."},
        {0, "Code: 0x00000000", "No description [???]."},
        {1, "Code: 0x00000001", "No description [???]."},
    };
    for (const auto& c : cases) {
        mrvException x(c.code, "t", "f", "file", 1);
        EXPECT_STREQ(x.GetCodeText(), c.text);
        EXPECT_NE(x.GetReport("\n").find(std::string("\n") + c.codeLine + "\n"), std::string::npos) << c.codeLine;
    }
}

TEST(ExceptionReport, NullPointerText)
{
    try {
        ThrowNullPointer("pItem", "mrvAPI::mrvDialog::AddItem", "baseapi\\inc\\dialog", 7);
        FAIL() << "no exception";
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), mrvE_POINTER);
        ASSERT_EQ(e.GetStack().size(), 1u);
        EXPECT_EQ(e.GetStack()[0], "Invalid null pointer parameter <pItem>. Caused in <mrvAPI::mrvDialog::AddItem()> "
                                   "[baseapi\\inc\\dialog, 7].");
    }
}

TEST(Buffer, SizesAndAllocationFailure)
{
    mrvBuffer<wchar_t> wide(12, "f", "file", 1);
    EXPECT_EQ(wide.size(), 12u);
    EXPECT_EQ(wide.bytes(), 24u);
    EXPECT_EQ(AllocationFailureText(24), "Failed to allocate <24, 0x00000018> bytes of memory.");

    mrvBuffer<wchar_t> copy(L"abc", "f", "file", 1);
    EXPECT_EQ(copy.size(), 4u);
    EXPECT_STREQ(copy.get(), L"abc");
}
