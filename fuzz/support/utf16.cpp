#include "utf16.h"

namespace fuzzsupport {

namespace {

bool Continuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Length and first-byte bits of a sequence, or 0 for a byte that starts none.
size_t SequenceLength(unsigned char lead, char32_t& code)
{
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        code = lead & 0x1F;
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        code = lead & 0x0F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        code = lead & 0x07;
        return 4;
    }
    return 0;
}

} // namespace

std::wstring Utf8ToUtf16(const std::string& utf8)
{
    std::wstring out;
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t code = 0;
        const size_t length = SequenceLength(static_cast<unsigned char>(utf8[i]), code);
        bool valid = length > 0 && i + length <= utf8.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
            valid = Continuation(c);
            code = (code << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (valid && ((length == 3 && code < 0x800) || (code >= 0xD800 && code <= 0xDFFF) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (!valid) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
        i += length;
    }
    return out;
}

} // namespace fuzzsupport
