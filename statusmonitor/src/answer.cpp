#include "answer.h"

namespace {

mrvAnswer Number(uint32_t message, uint32_t value)
{
    mrvAnswer a;
    a.succeeded = true;
    a.post = mrvAnswer::Post::Number;
    a.message = message;
    a.wParam = value;
    return a;
}

mrvAnswer Text(uint32_t message, const std::string& answer)
{
    mrvAnswer a;
    a.succeeded = true;
    a.post = mrvAnswer::Post::Text;
    a.message = message;
    a.text = AnswerText(answer, 2);
    return a;
}

mrvAnswer Accepted()
{
    mrvAnswer a;
    a.succeeded = true;
    return a;
}

uint32_t Byte(const std::string& answer, size_t i)
{
    return static_cast<unsigned char>(answer[i]);
}

} // namespace

std::string AnswerText(const std::string& answer, size_t offset)
{
    if (answer.size() <= offset)
        return std::string();
    std::string text = answer.substr(offset, mrvTEXT_BUFFER - 1);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

mrvAnswer DecodeAnswer(const std::string& answer)
{
    if (answer.empty())
        return mrvAnswer();
    const uint32_t code = Byte(answer, 0);
    // Codes that carry a value need it: a shorter answer is a failed request.
    const bool hasValue = answer.size() >= 3;
    switch (code) {
    case 0x81:
        return hasValue ? Number(mrvMSG_INK_LEVEL, Byte(answer, 2)) : mrvAnswer();
    case 0x82:
        return hasValue ? Number(mrvMSG_UV_LAMP, Byte(answer, 2)) : mrvAnswer();
    case 0x83: {
        if (!hasValue)
            return mrvAnswer();
        if (Byte(answer, 2) == 0)
            return Accepted();
        mrvAnswer a = Number(mrvMSG_STATUS, Byte(answer, 2));
        a.debugLine = std::string("SOCKET_API: SOCKET_ANSWER_INFO: ") + answer[2] + "\n";
        return a;
    }
    case 0x86:
    case 0x87:
        // A single code byte carries no text at all.
        if (answer.size() < 2)
            return mrvAnswer();
        return Text(code == 0x86 ? mrvMSG_MAT_CODE : mrvMSG_PRINTJOB, answer);
    case 0x88:
        return Number(mrvMSG_STATUS, 25);
    case 0x89: {
        if (!hasValue)
            return mrvAnswer();
        const uint32_t high = answer.size() >= 4 ? Byte(answer, 3) : 0;
        return Number(mrvMSG_NUMBER, Byte(answer, 2) | (high << 8));
    }
    default:
        return Accepted();
    }
}
