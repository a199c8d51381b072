#pragma once
#include "handle.h"
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
    RegistryFixture();
    ~RegistryFixture();
    RegistryFixture(const RegistryFixture&) = delete;
    RegistryFixture& operator=(const RegistryFixture&) = delete;

    void SetString(const std::wstring& name, const std::wstring& value);
    void SetDword(const std::wstring& name, DWORD value);
    void Remove(const std::wstring& name);

    void SetPath(const std::wstring& value) { SetString(L"Path", value); }
    void SetPrinterFilter(const std::wstring& value) { SetString(L"PrinterFilter", value); }
    void SetUpdateTime(const std::wstring& value) { SetString(L"UpdateTime", value); }
    void SetTcpPort(DWORD value) { SetDword(L"TCPPort", value); }

private:
    struct Saved {
        bool present = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    void Write(const std::wstring& name, DWORD type, const void* data, DWORD bytes);

    mrvAPI::mrvKernelHandle m_hTurn; // released last, after the values are restored
    bool m_HasTurn = false;
    mrvAPI::mrvRegKey m_Key;
    bool m_KeyCreated = false;
    std::map<std::wstring, Saved> m_Saved;
};

} // namespace qsmtest
