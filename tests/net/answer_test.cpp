#include "answer.h"
#include "bytes.h"
#include <gtest/gtest.h>

using qsmtest::Bytes;

TEST(DecodeAnswer, EveryAnswerCode)
{
    using Post = mrvAnswer::Post;
    const struct {
        std::string answer;
        bool succeeded;
        Post post;
        uint32_t message;
        uint32_t wParam;
        std::string text;
        std::string debugLine;
    } cases[] = {
        {Bytes({0x81, 0x00, 0x7F}), true, Post::Number, mrvMSG_INK_LEVEL, 127, "", ""},
        {Bytes({0x81, 0x55, 0xFF, 0x01}), true, Post::Number, mrvMSG_INK_LEVEL, 255, "", ""},
        {Bytes({0x82, 0x00, 0x00}), true, Post::Number, mrvMSG_UV_LAMP, 0, "", ""},
        {Bytes({0x83, 0x00, 0x00}), true, Post::None, 0, 0, "", ""},
        {Bytes({0x83, 0x00, 0x07}), true, Post::Number, mrvMSG_STATUS, 7, "", "SOCKET_API: SOCKET_ANSWER_INFO: \x07\n"},
        {Bytes({0x83, 0x00, 0xC8}), true, Post::Number, mrvMSG_STATUS, 200, "",
         std::string("SOCKET_API: SOCKET_ANSWER_INFO: ") + '\xC8' + "\n"},
        {Bytes({0x88}), true, Post::Number, mrvMSG_STATUS, 25, "", ""},
        {Bytes({0x88, 0x00, 0x07, 0x09}), true, Post::Number, mrvMSG_STATUS, 25, "", ""},
        {Bytes({0x89, 0x00, 0x2C, 0x01}), true, Post::Number, mrvMSG_NUMBER, 300, "", ""},
        {Bytes({0x89, 0x00, 0xFF, 0xFF, 0x12}), true, Post::Number, mrvMSG_NUMBER, 65535, "", ""},
        {Bytes({0x89, 0x00, 0x2C}), true, Post::Number, mrvMSG_NUMBER, 44, "", ""},
        {Bytes({0x86, 0x00}) + "PLA-7", true, Post::Text, mrvMSG_MAT_CODE, 0, "PLA-7", ""},
        {Bytes({0x86, 0x00}), true, Post::Text, mrvMSG_MAT_CODE, 0, "", ""},
        {Bytes({0x87, 0x00}) + std::string("AB\0CD", 5), true, Post::Text, mrvMSG_PRINTJOB, 0, "AB", ""},
        {Bytes({0x87, 0x00, 0x00}) + "XY", true, Post::Text, mrvMSG_PRINTJOB, 0, "", ""},
        {Bytes({0x84, 0x00}), true, Post::None, 0, 0, "", ""},
        {Bytes({0x85}), true, Post::None, 0, 0, "", ""},
        {Bytes({0x8A, 0x00}), true, Post::None, 0, 0, "", ""},
        {Bytes({0x00}), true, Post::None, 0, 0, "", ""},
        // Too short to carry their value or text: a failed request, nothing posted.
        {"", false, Post::None, 0, 0, "", ""},
        {Bytes({0x81}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x81, 0x00}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x82, 0x00}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x83, 0x00}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x89, 0x00}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x86}), false, Post::None, 0, 0, "", ""},
        {Bytes({0x87}), false, Post::None, 0, 0, "", ""},
    };
    for (const auto& c : cases) {
        const mrvAnswer a = DecodeAnswer(c.answer);
        SCOPED_TRACE(::testing::PrintToString(c.answer));
        EXPECT_EQ(a.succeeded, c.succeeded);
        EXPECT_EQ(a.post, c.post);
        EXPECT_EQ(a.message, c.message);
        EXPECT_EQ(a.wParam, c.wParam);
        EXPECT_EQ(a.text, c.text);
        EXPECT_EQ(a.debugLine, c.debugLine);
    }
}

TEST(DecodeAnswer, TextFitsTheWorkersBuffer)
{
    for (size_t length : {1024u, 1023u}) {
        const std::string text(length, 'm');
        EXPECT_EQ(DecodeAnswer(Bytes({0x86, 0x00}) + text).text, std::string(1023, 'm')) << length;
    }
    // The zero byte ends the text even beyond the buffer's length.
    EXPECT_EQ(AnswerText(Bytes({0x87, 0x00}) + std::string(1500, 'q') + '\0', 2), std::string(1023, 'q'));
    EXPECT_EQ(AnswerText("ab", 2), "");
    EXPECT_EQ(AnswerText("a", 2), "");
}
