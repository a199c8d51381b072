#include "registry_fixture.h"
#include <gtest/gtest.h>

namespace qsmtest {

namespace {
const wchar_t* const kKey = L"Software\\Morvane\\Config";
} // namespace

RegistryFixture::RegistryFixture() : m_hTurn(CreateMutexW(nullptr, FALSE, L"QuillorTestRegistryTurn"))
{
    // An abandoned turn (a test program that crashed) is ours all the same.
    const DWORD wait = m_hTurn.IsValid() ? WaitForSingleObject(m_hTurn.Get(), 120000) : WAIT_FAILED;
    m_HasTurn = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!m_HasTurn)
        ADD_FAILURE() << "registry turn not granted, wait result " << wait << ", error " << GetLastError();
    DWORD disposition = 0;
    const LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                    m_Key.Receive(), &disposition);
    if (rc != ERROR_SUCCESS)
        ADD_FAILURE() << "RegCreateKeyExW failed, error " << rc;
    m_KeyCreated = disposition == REG_CREATED_NEW_KEY;
}

RegistryFixture::~RegistryFixture()
{
    for (const auto& entry : m_Saved) {
        const Saved& saved = entry.second;
        if (saved.present)
            RegSetValueExW(m_Key.Get(), entry.first.c_str(), 0, saved.type, saved.data.data(),
                           static_cast<DWORD>(saved.data.size()));
        else
            RegDeleteValueW(m_Key.Get(), entry.first.c_str());
    }
    DWORD values = 0, subkeys = 0;
    if (m_KeyCreated &&
        RegQueryInfoKeyW(m_Key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        values == 0 && subkeys == 0) {
        m_Key.Reset();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Morvane"); // fails while it holds anything else
    }
    if (m_HasTurn)
        ReleaseMutex(m_hTurn.Get());
}

void RegistryFixture::Remove(const std::wstring& name)
{
    Write(name, REG_NONE, nullptr, 0);
}

void RegistryFixture::Write(const std::wstring& name, DWORD type, const void* data, DWORD bytes)
{
    if (!m_Saved.count(name)) {
        Saved& saved = m_Saved[name];
        DWORD size = 0;
        if (RegQueryValueExW(m_Key.Get(), name.c_str(), nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.present = RegQueryValueExW(m_Key.Get(), name.c_str(), nullptr, &saved.type, saved.data.data(),
                                             &size) == ERROR_SUCCESS;
            saved.data.resize(size);
        }
    }
    const LONG rc = data ? RegSetValueExW(m_Key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes)
                         : RegDeleteValueW(m_Key.Get(), name.c_str());
    if (data && rc != ERROR_SUCCESS)
        ADD_FAILURE() << "RegSetValueExW failed, error " << rc;
}

void RegistryFixture::SetString(const std::wstring& name, const std::wstring& value)
{
    Write(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistryFixture::SetDword(const std::wstring& name, DWORD value)
{
    Write(name, REG_DWORD, &value, sizeof(value));
}

} // namespace qsmtest
