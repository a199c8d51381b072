#include "errorrecord.h"
#include <gtest/gtest.h>
#include <string>

TEST(ErrorRecord, SplitsTheCodeAndDecodesTheGroups)
{
    const struct {
        std::string record;
        bool accepted;
        std::string code;
        std::u16string text;
    } cases[] = {
        {"0000012A", false, "", u""}, // eight characters are dropped
        {"0000012AF", true, "0000012A", u""},
        {"0000012A00410042CD", true, "0000012A", u"AB"}, // a short tail is dropped
        {"00000130aBcDEf01A0e9", true, "00000130", u"\xABCD\xEF01\xA0E9"},
        {"ABCDEFGH0000FFFF", true, "ABCDEFGH", std::u16string(u"\0\xFFFF", 2)},
        {"00000201D83DDE00", true, "00000201", u"\U0001F600"},
        // No sign, blank or character next to a digit range is a digit.
        {"00000999+041 0410zzz0042/000:000@000G000`000g000", true, "00000999", u"\xFFFD\xFFFD\xFFFD" u"B\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD"},
    };
    for (const auto& c : cases) {
        ErrorRecord out{"stale", u"stale"};
        EXPECT_EQ(DecodeErrorRecord(c.record, out), c.accepted) << c.record;
        EXPECT_EQ(out.code, c.code) << c.record;
        EXPECT_EQ(out.text, c.text) << c.record;
    }
}
