#include "settings.h"
#include "debug.h"
#include "utils.h"

namespace mrvAPI {

namespace {

// Closes an opened registry key when it leaves scope.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey()
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

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
    ScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
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
