#pragma once
// Rules for text that comes from the language file and the registry. Pure: no
// Windows headers, so they can be tested and fuzzed on their own.
#include <cstdint>
#include <string>

namespace mrvAPI {

// Decimal reading used for every number that comes as text: leading blanks and a
// sign allowed, reading stops at the first non-digit, no digits give 0.
// ReadUnsignedDecimal wraps a negative value modulo 2^32 ("-1" is 4294967295) and
// saturates at 4294967295; ReadSignedDecimal saturates at the 32-bit limits.
uint32_t ReadUnsignedDecimal(const std::string& text);
int32_t ReadSignedDecimal(const std::string& text);

// Every two-character sequence backslash, "n" becomes one line feed.
std::wstring ReplaceLineBreakEscapes(std::wstring text);

} // namespace mrvAPI
