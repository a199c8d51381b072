#include "textrules.h"
#include <cctype>
#include <climits>

namespace mrvAPI {

namespace {

// Leading blanks, optional sign, digits; magnitude saturated at 2^32.
void ReadDecimal(const std::string& text, bool& negative, uint64_t& magnitude)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > 0x100000000ULL)
            magnitude = 0x100000000ULL;
    }
}

} // namespace

uint32_t ReadUnsignedDecimal(const std::string& text)
{
    bool negative;
    uint64_t magnitude;
    ReadDecimal(text, negative, magnitude);
    if (magnitude > 0xFFFFFFFFULL)
        return 0xFFFFFFFFu;
    uint32_t value = static_cast<uint32_t>(magnitude);
    return negative ? static_cast<uint32_t>(0u - value) : value;
}

int32_t ReadSignedDecimal(const std::string& text)
{
    bool negative;
    uint64_t magnitude;
    ReadDecimal(text, negative, magnitude);
    if (negative)
        return magnitude >= 0x80000000ULL ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude >= 0x7FFFFFFFULL ? INT32_MAX : static_cast<int32_t>(magnitude);
}

std::wstring ReplaceLineBreakEscapes(std::wstring text)
{
    // A replaced pair leaves a line feed, which cannot start a new pair, so the
    // search goes on from there instead of from the start.
    for (size_t at = text.find(L"\\n"); at != std::wstring::npos; at = text.find(L"\\n", at))
        text.replace(at, 2, 1, L'\n');
    return text;
}

} // namespace mrvAPI
