// The number rule and the line-break rule of the language file, checked against
// independent readings: the C library's strtoll for numbers, and the rule's
// literal form (replace the first pair, search again from the start) for texts.
#include "textrules.h"
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

std::wstring ReplaceFromStart(std::wstring text)
{
    for (size_t at = text.find(L"\\n"); at != std::wstring::npos; at = text.find(L"\\n"))
        text.replace(at, 2, 1, L'\n');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // strtoll saturates at the 64-bit limits, far beyond the 32-bit ones checked here;
    // a negative value within them wraps modulo 2^32.
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    const bool beyond = value > 0xFFFFFFFFLL || value < -0xFFFFFFFFLL;
    assert(mrvAPI::ReadUnsignedDecimal(text) == (beyond ? 0xFFFFFFFFu : static_cast<uint32_t>(value)));
    assert(mrvAPI::ReadSignedDecimal(text) == std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, value)));

    // Bytes taken one by one as code units give backslash-n pairs far more often than pairs would.
    const std::wstring wide(data, data + size);
    assert(mrvAPI::ReplaceLineBreakEscapes(wide) == ReplaceFromStart(wide));
    return 0;
}
