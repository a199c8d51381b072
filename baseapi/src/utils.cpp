#include "utils.h"
#include "handle.h"
#include "buffer.h"
#include "textrules.h"
#include <sstream>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\utils";

} // namespace

std::string mrvUtils::LastErrorSuffix(DWORD error)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0,
                   reinterpret_cast<char*>(&text), 0, nullptr);
    std::ostringstream s;
    s << " (GetLastError()=" << error << ", " << (text ? text : "") << ").";
    if (text)
        LocalFree(text);
    return s.str();
}

void ThrowSystemError(const std::string& sentence, DWORD error, const char* function, const char* file, int line)
{
    SetLastError(error);
    std::string text = sentence + mrvUtils::LastErrorSuffix(error);
    throw mrvException(mrvE_FAIL, text, function, file, line);
}

std::wstring mrvUtils::GetConfigValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName)
{
    const char* const function = "mrvAPI::mrvUtils::GetConfigValue";
    mrvRegKey key;
    LONG rc = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, key.Receive());
    if (rc == ERROR_SUCCESS) {
        wchar_t value[4096] = {};
        DWORD size = 4096;
        rc = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                              &size);
        if (rc == ERROR_SUCCESS) {
            value[4095] = L'\0';
            return value;
        }
    }
    // The registry functions return their error instead of setting it; report that one.
    ThrowSystemError("Failed to read configuration.", static_cast<DWORD>(rc), function, kFile, __LINE__);
}

std::wstring mrvUtils::M2W(const std::string& text)
{
    const char* const function = "mrvAPI::mrvUtils::M2W";
    mrvBuffer<wchar_t> buffer(static_cast<uint32_t>(text.size() + 1), function, kFile, __LINE__);
    if (MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer.get(), static_cast<int>(buffer.size())) == 0)
        ThrowSystemError("Conversion failed.", GetLastError(), function, kFile, __LINE__);
    return buffer.get();
}

std::string mrvUtils::W2M(const std::wstring& text)
{
    const char* const function = "mrvAPI::mrvUtils::W2M";
    // Ask for the size first: a double-byte code page needs up to two bytes per character.
    int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed == 0)
        ThrowSystemError("Conversion failed.", GetLastError(), function, kFile, __LINE__);
    mrvBuffer<char> buffer(static_cast<uint32_t>(needed), function, kFile, __LINE__);
    if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.get(), static_cast<int>(buffer.size()), nullptr,
                            nullptr) == 0)
        ThrowSystemError("Conversion failed.", GetLastError(), function, kFile, __LINE__);
    return buffer.get();
}

uint32_t mrvUtils::ReadUnsigned(const std::string& text)
{
    return ReadUnsignedDecimal(text);
}

int32_t mrvUtils::ReadSigned(const std::string& text)
{
    return ReadSignedDecimal(text);
}

} // namespace mrvAPI
