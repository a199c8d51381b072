#pragma once
#include "win.h"
#include <cstdint>
#include <string>

namespace mrvAPI {

// The registry key that the driver's installation writes.
constexpr const wchar_t* mrvCONFIG_KEY = L"Software\\Morvane\\Config\\";

class mrvUtils {
public:
    // One registry string (type ignored, at most 2047 characters).
    static std::wstring GetConfigValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
    // UTF-8 to UTF-16.
    static std::wstring M2W(const std::string& text);
    // UTF-16 to the ANSI code page.
    static std::string W2M(const std::wstring& text);

    // " (GetLastError()=<error>, <system text>)." for the given error value.
    static std::string LastErrorSuffix(DWORD error);

    // Decimal reading used for every number that comes as text: leading blanks and a
    // sign allowed, reading stops at the first non-digit, no digits give 0.
    // ReadUnsigned wraps a negative value modulo 2^32 ("-1" is 4294967295) and
    // saturates at 4294967295; ReadSigned saturates at the 32-bit limits.
    static uint32_t ReadUnsigned(const std::string& text);
    static int32_t ReadSigned(const std::string& text);
};

// Throws E_FAIL with "<sentence> (GetLastError()=n, text)." for the given error value.
[[noreturn]] void ThrowSystemError(const std::string& sentence, DWORD error, const char* function,
                                   const char* file, int line);

} // namespace mrvAPI
