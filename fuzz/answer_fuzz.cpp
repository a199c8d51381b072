// Feeds arbitrary bytes as one answer of the language monitor to the decoder and
// checks what it would post against the protocol's rules.
#include "answer.h"
#include <cassert>
#include <cstdint>

namespace {

bool Posts(const mrvAnswer& a, uint32_t message, mrvAnswer::Post post)
{
    return a.succeeded && a.message == message && a.post == post;
}

// The answer from offset on, cut at a zero byte and at the buffer's room.
std::string TextFrom(const std::string& answer, size_t offset)
{
    const std::string text = offset < answer.size() ? answer.substr(offset) : std::string();
    return text.substr(0, text.find('\0')).substr(0, mrvTEXT_BUFFER - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const mrvAnswer a = DecodeAnswer(answer);
    const bool quiet = a.post == mrvAnswer::Post::None && a.debugLine.empty();
    assert(a.succeeded || quiet);
    assert(a.post == mrvAnswer::Post::Text || a.text.empty());
    const uint8_t code = size ? data[0] : 0;
    const uint32_t byte2 = size >= 3 ? data[2] : 0;
    // The text rule on its own, from every offset the input can name.
    assert(AnswerText(answer, code % 8) == TextFrom(answer, code % 8));
    // Numbers need their byte, a text may be empty, every other code is accepted; no answer at all fails.
    const size_t need = code == 0x86 || code == 0x87 ? 2 : (code >= 0x81 && code <= 0x83) || code == 0x89 ? 3 : 1;
    assert(a.succeeded == (size >= need));
    if (!a.succeeded)
        return 0;
    switch (code) {
    case 0x81:
    case 0x82:
        assert(Posts(a, code == 0x81 ? mrvMSG_INK_LEVEL : mrvMSG_UV_LAMP, mrvAnswer::Post::Number) && a.wParam == byte2);
        break;
    case 0x83:
        assert(byte2 == 0 ? quiet
                          : Posts(a, mrvMSG_STATUS, mrvAnswer::Post::Number) && a.wParam == byte2 &&
                                a.debugLine == "SOCKET_API: SOCKET_ANSWER_INFO: " + answer.substr(2, 1) + "\n");
        break;
    case 0x86:
    case 0x87:
        assert(Posts(a, code == 0x86 ? mrvMSG_MAT_CODE : mrvMSG_PRINTJOB, mrvAnswer::Post::Text) &&
               a.text == TextFrom(answer, 2));
        break;
    case 0x88:
        assert(Posts(a, mrvMSG_STATUS, mrvAnswer::Post::Number) && a.wParam == 25);
        break;
    case 0x89:
        assert(Posts(a, mrvMSG_NUMBER, mrvAnswer::Post::Number) && a.wParam == (byte2 | (size >= 4 ? data[3] << 8u : 0u)));
        break;
    default:
        assert(quiet);
    }
    return 0;
}
