#include "settings.h"
#include "handle.h"
#include "debug.h"
#include "utils.h"

namespace mrvAPI {

namespace {

} // namespace

std::wstring mrvSettings::ReadPrinterFilter(const char* debugLine)
{
    try {
        return mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, L"PrinterFilter");
    } catch (...) {
        DebugOut(debugLine);
        return std::wstring();
    }
}

DWORD mrvSettings::ReadUpdateTime()
{
    std::wstring text = L"1000";
    try {
        text = mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, L"UpdateTime");
    } catch (...) {
        DebugOut("mrvMainDialog::mrvMainDialog");
    }
    try {
        // A negative pause makes no sense; it reads like a text without a number.
        const int32_t value = mrvUtils::ReadSigned(mrvUtils::W2M(text));
        return value < 0 ? 0 : static_cast<DWORD>(value);
    } catch (...) {
        DebugOut("mrvMainDialog::mrvMainDialog");
        return 1000;
    }
}

bool mrvSettings::ReadTcpPort(DWORD& port)
{
    mrvRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key.Get(), L"TCPPort", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return false;
    // A one-character string also fits into four bytes; its bytes are no port.
    if (type != REG_DWORD || size != sizeof(value))
        return false;
    port = value;
    return true;
}

std::wstring mrvSettings::ReadPath()
{
    return mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, L"Path");
}

} // namespace mrvAPI
