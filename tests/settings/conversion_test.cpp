#include "exception.h"
#include "utils.h"
#include <gtest/gtest.h>

using namespace mrvAPI;

// UTF-8 to wide is covered by the configuration tree's UTF-8 names and texts.
TEST(Conversion, WideToWesternAnsi)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs ANSI code page 1252 (LANG=en_US.UTF-8), this process has " << GetACP();
    const struct {
        std::wstring wide;
        std::string ansi;
    } cases[] = {
        {L"", ""},
        {L"C:\\Gr\u00FC\u00DFe.log", "C:\\Gr\xFC\xDF" "e.log"},
        {L"\u20AC 5", "\x80 5"},
        {L"\u65E5", "?"}, // not in the code page: the system's default character
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvUtils::W2M(c.wide), c.ansi);
}

// Japanese needs two bytes per character in code page 932: a buffer of one byte
// per character would make the conversion fail.
TEST(Conversion, WideToDoubleByteAnsi)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs ANSI code page 932 (the settings_ja entry sets LANG=ja_JP.UTF-8), this process has "
                     << GetACP();
    const struct {
        std::wstring wide;
        std::string ansi;
    } cases[] = {
        {L"a\u65E5b", "a\x93\xFA" "b"},
        {L"\uFF71", "\xB1"}, // half-width katakana: one byte
        {L"C:\\\u30ED\u30B0\\x.log", "C:\\\x83\x8D\x83O\\x.log"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(mrvUtils::W2M(c.wide), c.ansi);
        } catch (const mrvException& e) {
            ADD_FAILURE() << e.GetReport("\n");
        }
    }
}
