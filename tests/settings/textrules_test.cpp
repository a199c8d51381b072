#include "textrules.h"
#include <gtest/gtest.h>

using namespace mrvAPI;

// The number rule at its limits; the ordinary cases run through the catalogue and
// the UpdateTime tests.
TEST(TextRules, DecimalReadingAtTheLimits)
{
    const struct {
        const char* text;
        uint32_t asUnsigned;
        int32_t asSigned;
    } cases[] = {
        {"4294967295", 4294967295u, INT32_MAX},
        {"4294967296", 4294967295u, INT32_MAX},
        {"99999999999999999999999", 4294967295u, INT32_MAX},
        {"2147483647", 2147483647u, INT32_MAX},
        {"2147483648", 2147483648u, INT32_MAX},
        {"-2147483648", 2147483648u, INT32_MIN},
        {"-2147483649", 2147483647u, INT32_MIN},
        {"-4294967295", 1u, INT32_MIN},
        {"-4294967296", 4294967295u, INT32_MIN},
        {"-1", 4294967295u, -1},
        {"\t\n\v\f\r 12", 12u, 12},
        {"- 1", 0u, 0},
        {"+-1", 0u, 0},
        {"00000000000000000000042x", 42u, 42},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadUnsignedDecimal(c.text), c.asUnsigned) << c.text;
        EXPECT_EQ(ReadSignedDecimal(c.text), c.asSigned) << c.text;
    }
    // Reading stops at a zero byte like at any other non-digit.
    EXPECT_EQ(ReadUnsignedDecimal(std::string("12\0" "34", 5)), 12u);
}

TEST(TextRules, LineBreakEscapes)
{
    const struct {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"", L""},
        {L"\\", L"\\"},
        {L"n\\", L"n\\"},
        {L"\\\\n", L"\\\n"},
        {L"\\n\\nn", L"\n\nn"},
        {L"\\N", L"\\N"},
        {L"\u65E5\\n\u672C", L"\u65E5\n\u672C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceLineBreakEscapes(c.text), c.expected) << static_cast<const void*>(c.text);
}
