#include "errorrecord.h"
#include <gtest/gtest.h>
#include <string>

namespace {

struct RecordCase {
    const char* name;
    std::string record;
    bool accepted;
    std::string code;
    std::u16string text;
};

class ErrorRecordDecoding : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ErrorRecordDecoding, SplitsCodeAndDecodesTheGroups)
{
    const RecordCase& c = GetParam();
    ErrorRecord out;
    out.code = "stale";
    out.text = u"stale";
    EXPECT_EQ(DecodeErrorRecord(c.record, out), c.accepted);
    EXPECT_EQ(out.code, c.code);
    EXPECT_EQ(out.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ErrorRecordDecoding,
    ::testing::Values(
        RecordCase{"Empty", "", false, "", u""},
        RecordCase{"EightCharactersAreDropped", "0000012A", false, "", u""},
        RecordCase{"NineCharactersGiveAnEmptyText", "0000012AF", true, "0000012A", u""},
        RecordCase{"TwoGroupsAndATail", "0000012A00410042CD", true, "0000012A", u"AB"},
        RecordCase{"LowerAndUpperHexDigits", "00000130abcDEf0100e9", true, "00000130", u"\xABCD\xEF01\x00E9"},
        RecordCase{"FullRangeCodeUnits", "ABCDEFGH0000FFFF", true, "ABCDEFGH", std::u16string(u"\0\xFFFF", 2)},
        RecordCase{"SurrogatePairStaysTwoUnits", "00000201D83DDE00", true, "00000201", u"\U0001F600"},
        RecordCase{"NonHexGroupGivesReplacement", "0000099900410zzz0042", true, "00000999", u"A\xFFFD" u"B"},
        RecordCase{"SignAndBlankAreNoHex", "00000999+041 041004x0", true, "00000999", u"\xFFFD\xFFFD\xFFFD"},
        RecordCase{"CodeIsTakenAsItIs", "err code0041", true, "err code", u"A"}),
    [](const ::testing::TestParamInfo<RecordCase>& p) { return std::string(p.param.name); });

} // namespace
