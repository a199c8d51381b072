#pragma once
#include "win.h"
#include <map>
#include <memory>
#include <type_traits>
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

    void Remember(const std::wstring& name);
    void Write(const std::wstring& name, DWORD type, const void* data, DWORD bytes);

    struct TurnReleaser {
        void operator()(HANDLE h) const;
    };
    struct KeyCloser {
        void operator()(HKEY h) const { RegCloseKey(h); }
    };

    // Declared first so that it is released last, after the values are restored.
    std::unique_ptr<void, TurnReleaser> m_pTurn;
    std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> m_pKey;
    bool m_KeyCreated = false;
    std::map<std::wstring, Saved> m_Saved;
};

} // namespace qsmtest
