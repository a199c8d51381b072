// Feeds arbitrary bytes as one answer of the language monitor to the decoder and
// checks what it would post against the protocol's rules.
#include "answer.h"
#include "support/check.h"
#include <cstddef>
#include <cstdint>

namespace {

bool Posts(const mrvAnswer& a, uint32_t message, mrvAnswer::Post post)
{
    return a.succeeded && a.message == message && a.post == post;
}

void CheckText(const mrvAnswer& a, const std::string& answer)
{
    FUZZ_CHECK(a.text.size() <= mrvTEXT_BUFFER - 1);
    FUZZ_CHECK(a.text.find('\0') == std::string::npos);
    // The text is the answer from byte 2 on, cut at a zero byte or at the buffer's room.
    FUZZ_CHECK(answer.compare(2, a.text.size(), a.text) == 0);
    const size_t end = 2 + a.text.size();
    FUZZ_CHECK(end == answer.size() || answer[end] == '\0' || a.text.size() == mrvTEXT_BUFFER - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const mrvAnswer a = DecodeAnswer(answer);

    if (!a.succeeded)
        FUZZ_CHECK(a.post == mrvAnswer::Post::None && a.debugLine.empty());
    if (answer.empty()) {
        FUZZ_CHECK(!a.succeeded);
        return 0;
    }
    const uint8_t code = data[0];
    switch (code) {
    case 0x81:
    case 0x82:
        FUZZ_CHECK(a.succeeded == (size >= 3));
        if (a.succeeded)
            FUZZ_CHECK(Posts(a, code == 0x81 ? mrvMSG_INK_LEVEL : mrvMSG_UV_LAMP, mrvAnswer::Post::Number) &&
                       a.wParam == data[2]);
        break;
    case 0x83:
        FUZZ_CHECK(a.succeeded == (size >= 3));
        if (a.succeeded && data[2] == 0)
            FUZZ_CHECK(a.post == mrvAnswer::Post::None && a.debugLine.empty());
        if (a.succeeded && data[2] != 0) {
            FUZZ_CHECK(Posts(a, mrvMSG_STATUS, mrvAnswer::Post::Number) && a.wParam == data[2]);
            FUZZ_CHECK(a.debugLine == std::string("SOCKET_API: SOCKET_ANSWER_INFO: ") + answer[2] + "\n");
        }
        break;
    case 0x86:
    case 0x87:
        FUZZ_CHECK(a.succeeded == (size >= 2));
        if (a.succeeded) {
            FUZZ_CHECK(Posts(a, code == 0x86 ? mrvMSG_MAT_CODE : mrvMSG_PRINTJOB, mrvAnswer::Post::Text));
            CheckText(a, answer);
        }
        break;
    case 0x88:
        FUZZ_CHECK(Posts(a, mrvMSG_STATUS, mrvAnswer::Post::Number) && a.wParam == 25);
        break;
    case 0x89:
        FUZZ_CHECK(a.succeeded == (size >= 3));
        if (a.succeeded)
            FUZZ_CHECK(Posts(a, mrvMSG_NUMBER, mrvAnswer::Post::Number) &&
                       a.wParam == (data[2] | (size >= 4 ? data[3] << 8u : 0u)));
        break;
    default:
        // Every other code is accepted and posts nothing.
        FUZZ_CHECK(a.succeeded && a.post == mrvAnswer::Post::None && a.debugLine.empty());
        break;
    }
    if (a.post != mrvAnswer::Post::Text)
        FUZZ_CHECK(a.text.empty());

    // The text rule on its own, from every offset the input can name.
    const size_t offset = data[0] % 8;
    const std::string text = AnswerText(answer, offset);
    FUZZ_CHECK(text.size() <= mrvTEXT_BUFFER - 1 && text.find('\0') == std::string::npos);
    FUZZ_CHECK(offset >= size ? text.empty() : answer.compare(offset, text.size(), text) == 0);
    return 0;
}
