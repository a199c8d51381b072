#pragma once
#include "handle.h"
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace qsmtest {

// Sets and removes values under HKLM "Software\Morvane\Config\" for the length of a
// test and puts back what was there before when it goes. Test programs run in
// parallel on one Wine prefix, so it also holds a machine-wide mutex from
// construction to destruction: registry tests of different programs take turns.
class RegistryFixture {
public:
    RegistryFixture() : m_hTurn(CreateMutexW(nullptr, FALSE, L"QuillorTestRegistryTurn"))
    {
        // An abandoned turn (a test program that crashed) is ours all the same.
        const DWORD wait = WaitForSingleObject(m_hTurn.Get(), 120000);
        m_HasTurn = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        EXPECT_TRUE(m_HasTurn) << "registry turn not granted, wait result " << wait << ", error " << GetLastError();
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, m_Key.Receive(),
                                  &disposition),
                  ERROR_SUCCESS);
        m_KeyCreated = disposition == REG_CREATED_NEW_KEY;
    }
    ~RegistryFixture()
    {
        for (const auto& [name, saved] : m_Saved)
            if (saved.present)
                RegSetValueExW(m_Key.Get(), name.c_str(), 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
            else
                RegDeleteValueW(m_Key.Get(), name.c_str());
        DWORD values = 0, subkeys = 0;
        if (m_KeyCreated && RegQueryInfoKeyW(m_Key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                             nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS && values + subkeys == 0) {
            m_Key.Reset();
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Morvane"); // fails while it holds anything else
        }
        if (m_HasTurn)
            ReleaseMutex(m_hTurn.Get());
    }
    RegistryFixture(const RegistryFixture&) = delete;
    RegistryFixture& operator=(const RegistryFixture&) = delete;

    void SetString(const std::wstring& name, const std::wstring& value)
    {
        Write(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetDword(const std::wstring& name, DWORD value) { Write(name, REG_DWORD, &value, sizeof value); }
    void Remove(const std::wstring& name) { Write(name, REG_NONE, nullptr, 0); }

    void SetPath(const std::wstring& value) { SetString(L"Path", value); }
    void SetPrinterFilter(const std::wstring& value) { SetString(L"PrinterFilter", value); }
    void SetUpdateTime(const std::wstring& value) { SetString(L"UpdateTime", value); }
    void SetTcpPort(DWORD value) { SetDword(L"TCPPort", value); }

private:
    static constexpr const wchar_t* kKey = L"Software\\Morvane\\Config";
    struct Saved {
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    // Null data removes the value; what was there first is kept for the end.
    void Write(const std::wstring& name, DWORD type, const void* data, DWORD bytes)
    {
        if (!m_Saved.count(name)) {
            Saved& saved = m_Saved[name];
            BYTE value[4096]; // the program's values are short
            DWORD size = sizeof value;
            saved.present = RegQueryValueExW(m_Key.Get(), name.c_str(), nullptr, &saved.type, value, &size) == ERROR_SUCCESS;
            saved.data.assign(value, value + (saved.present ? size : 0));
        }
        if (data)
            EXPECT_EQ(RegSetValueExW(m_Key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        else
            RegDeleteValueW(m_Key.Get(), name.c_str());
    }

    mrvAPI::mrvKernelHandle m_hTurn; // released last, after the values are restored
    bool m_HasTurn = false;
    mrvAPI::mrvRegKey m_Key;
    bool m_KeyCreated = false;
    std::map<std::wstring, Saved> m_Saved;
};

} // namespace qsmtest
