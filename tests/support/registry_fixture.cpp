#include "registry_fixture.h"
#include <gtest/gtest.h>

namespace qsmtest {

namespace {
const wchar_t* const kKey = L"Software\\Morvane\\Config";
const wchar_t* const kParentKey = L"Software\\Morvane";
const DWORD kTurnTimeoutMs = 120000;
} // namespace

void RegistryFixture::TurnReleaser::operator()(HANDLE h) const
{
    ReleaseMutex(h);
    CloseHandle(h);
}

RegistryFixture::RegistryFixture()
{
    HANDLE turn = CreateMutexW(nullptr, FALSE, L"QuillorTestRegistryTurn");
    if (!turn) {
        ADD_FAILURE() << "CreateMutexW failed, error " << GetLastError();
    } else {
        const DWORD wait = WaitForSingleObject(turn, kTurnTimeoutMs);
        // An abandoned turn (a test program that crashed) is ours all the same.
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            m_pTurn.reset(turn);
        } else {
            ADD_FAILURE() << "registry turn not granted, wait result " << wait;
            CloseHandle(turn);
        }
    }
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG rc =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, &disposition);
    if (rc != ERROR_SUCCESS) {
        ADD_FAILURE() << "RegCreateKeyExW failed, error " << rc;
        return;
    }
    m_pKey.reset(key);
    m_KeyCreated = disposition == REG_CREATED_NEW_KEY;
}

RegistryFixture::~RegistryFixture()
{
    if (!m_pKey)
        return;
    for (const auto& entry : m_Saved) {
        const Saved& saved = entry.second;
        if (saved.present)
            RegSetValueExW(m_pKey.get(), entry.first.c_str(), 0, saved.type, saved.data.data(),
                           static_cast<DWORD>(saved.data.size()));
        else
            RegDeleteValueW(m_pKey.get(), entry.first.c_str());
    }
    m_pKey.reset();
    if (m_KeyCreated) {
        // Fails while the key still has values or subkeys, which is what we want.
        DWORD values = 0, subkeys = 0;
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> probe(opened);
            RegQueryInfoKeyW(probe.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr);
            probe.reset();
            if (values == 0 && subkeys == 0) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParentKey);
            }
        }
    }
}

void RegistryFixture::Remember(const std::wstring& name)
{
    if (!m_pKey || m_Saved.count(name))
        return;
    Saved saved;
    DWORD bytes = 0;
    if (RegQueryValueExW(m_pKey.get(), name.c_str(), nullptr, &saved.type, nullptr, &bytes) == ERROR_SUCCESS) {
        saved.data.resize(bytes);
        if (RegQueryValueExW(m_pKey.get(), name.c_str(), nullptr, &saved.type, saved.data.data(), &bytes) ==
            ERROR_SUCCESS) {
            saved.data.resize(bytes);
            saved.present = true;
        }
    }
    m_Saved[name] = saved;
}

void RegistryFixture::Write(const std::wstring& name, DWORD type, const void* data, DWORD bytes)
{
    Remember(name);
    if (!m_pKey)
        return;
    const LONG rc = RegSetValueExW(m_pKey.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
    if (rc != ERROR_SUCCESS)
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

void RegistryFixture::Remove(const std::wstring& name)
{
    Remember(name);
    if (m_pKey)
        RegDeleteValueW(m_pKey.get(), name.c_str());
}

} // namespace qsmtest
