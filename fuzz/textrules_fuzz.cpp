// The number rule and the line-break rule of the language file, checked against
// independent readings: the C library's strtoll for numbers, and the rule's
// literal form (replace the first pair, search again from the start) for texts.
#include "support/check.h"
#include "textrules.h"
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

int64_t ReadWithStrtoll(const std::string& text)
{
    // strtoll saturates at the 64-bit limits, far beyond the 32-bit ones checked here.
    return std::strtoll(text.c_str(), nullptr, 10);
}

uint32_t ExpectedUnsigned(int64_t value)
{
    if (value > 0xFFFFFFFFLL || value < -0xFFFFFFFFLL)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value); // a negative value wraps modulo 2^32
}

int32_t ExpectedSigned(int64_t value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

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
    const int64_t reference = ReadWithStrtoll(text);
    FUZZ_CHECK(mrvAPI::ReadUnsignedDecimal(text) == ExpectedUnsigned(reference));
    FUZZ_CHECK(mrvAPI::ReadSignedDecimal(text) == ExpectedSigned(reference));

    // Pairs of bytes as UTF-16 code units, so texts beyond Latin-1 come by too.
    std::wstring wide;
    for (size_t i = 0; i + 1 < size; i += 2)
        wide.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    const std::wstring replaced = mrvAPI::ReplaceLineBreakEscapes(wide);
    FUZZ_CHECK(replaced == ReplaceFromStart(wide));
    FUZZ_CHECK(replaced.find(L"\\n") == std::wstring::npos);
    // Bytes taken one by one give backslash-n pairs far more often.
    const std::wstring narrow(data, data + size);
    FUZZ_CHECK(mrvAPI::ReplaceLineBreakEscapes(narrow) == ReplaceFromStart(narrow));
    return 0;
}
