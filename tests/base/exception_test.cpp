#include "buffer.h"
#include "exception.h"
#include <gtest/gtest.h>

using namespace mrvAPI;

TEST(ExceptionReport, LayoutAndCodeTexts)
{
    const std::pair<long, const char*> cases[] = {
        {mrvE_PRINTER_OPEN, "Code: 0xe000f000|Text: No description [???]."},
        {mrvE_FAIL, "Code: 0x80004005|Text: General failure [E_FAIL]."},
        {mrvE_POINTER, "Code: 0x80004003|Text: Invalid pointer [E_POINTER]."},
        {mrvE_OUTOFMEMORY, "Code: 0x8007000e|Text: Out of memory [E_OUTOFMEMORY]."},
    };
    for (const auto& c : cases) {
        mrvException e(c.first, "Can't open printer.", "mrvAPI::mrvPrinter::Open", "baseapi\\src\\printer", 42);
        EXPECT_EQ(e.GetReport("|"), std::string("Exception caused:|") + c.second +
                                        "|Stack: |Can't open printer. Caused in <mrvAPI::mrvPrinter::Open()> "
                                        "[baseapi\\src\\printer, 42].|");
    }
}

TEST(Buffer, SizesAndAllocationFailureText)
{
    mrvBuffer<wchar_t> copy(L"abc", "f", "file", 1);
    EXPECT_EQ(copy.bytes(), 8u);
    EXPECT_STREQ(copy.get(), L"abc");
    EXPECT_EQ(AllocationFailureText(24), "Failed to allocate <24, 0x00000018> bytes of memory.");
}
