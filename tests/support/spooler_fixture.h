#pragma once
#include "process.h"
#include "spooler_setup.h"
#include "utils.h"
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <winspool.h>

namespace qsmtest {

// Installs test drivers and printers in the test Wine prefix and removes them again
// when it goes out of scope:
//
//   SpoolerFixture f;
//   const std::wstring name = SpoolerFixture::Unique(L"Quillor Test A");
//   ASSERT_TRUE(f.InstallPrinter(name, L"FILE:", SpoolerFixture::QuillorDriver()));
//
// Test programs run in parallel on one prefix, so driver names carry the process
// id and printer names should be made with Unique. A driver is installed by the
// first AddPrinter that names it; its files are the test DLL (quillortest.dll,
// version 5.0.12.3, as driver, configuration and first dependent file) and a
// data file (quillortest.gpd). Failures are reported as test failures and make
// the call return false.
class SpoolerFixture {
public:
    SpoolerFixture() = default;
    ~SpoolerFixture()
    {
        while (!m_Printers.empty())
            RemovePrinter(m_Printers.back());
        for (const std::wstring& driver : m_Drivers)
            Report(DeleteDriver(driver));
    }
    SpoolerFixture(const SpoolerFixture&) = delete;
    SpoolerFixture& operator=(const SpoolerFixture&) = delete;

    // "p<process id>", the suffix of every name made here.
    static std::wstring Tag() { return L"p" + std::to_wstring(GetCurrentProcessId()); }
    static std::wstring Unique(const std::wstring& base) { return base + L" " + Tag(); }
    // A driver whose name contains "QUILLOR", and one whose name does not.
    static std::wstring QuillorDriver() { return Unique(L"VESTRANO QUILLOR 2"); }
    static std::wstring OtherDriver() { return Unique(L"VESTRANO LASER 5"); }
    // A port of the prefix whose name begins with "COM".
    static std::wstring ComPort() { return L"COM1:"; }

    bool InstallPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
    {
        const bool known = std::find(m_Drivers.begin(), m_Drivers.end(), driver) != m_Drivers.end();
        // The test DLL lies next to the running test program.
        if (!known && !Report(AddTestDriver(driver, ExeDir() + kDriverDllName)))
            return false;
        if (!known)
            m_Drivers.push_back(driver);
        if (!Report(AddLocalPrinter(name, port, driver)))
            return false;
        m_Printers.push_back(name);
        return true;
    }
    bool ChangePort(const std::wstring& name, const std::wstring& port)
    {
        std::wstring portName = port;
        return ChangeSettings(name, [&](PRINTER_INFO_2W& info) { info.pPortName = &portName[0]; });
    }
    // Reads the printer's PRINTER_INFO_2W, lets edit change it and writes it back
    // (SetPrinterW level 2); pointers set by edit must live until it returns.
    bool ChangeSettings(const std::wstring& name, const std::function<void(PRINTER_INFO_2W&)>& edit)
    {
        const auto h = OpenPrinterForAdmin(name);
        DWORD needed = 0;
        GetPrinterW(h.Get(), 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        const bool read = needed && GetPrinterW(h.Get(), 2, buffer.data(), needed, &needed);
        if (read)
            edit(*reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()));
        const bool written = read && SetPrinterW(h.Get(), 2, buffer.data(), 0);
        EXPECT_TRUE(written) << "changing printer " << mrvAPI::mrvUtils::W2M(name) << " failed: " << GetLastError();
        return written;
    }
    bool RemovePrinter(const std::wstring& printer)
    {
        const std::wstring name = printer; // may refer to the entry erased below
        m_Printers.erase(std::remove(m_Printers.begin(), m_Printers.end(), name), m_Printers.end());
        return Report(DeleteLocalPrinter(name));
    }

    const std::vector<std::wstring>& Printers() const { return m_Printers; }

private:
    static bool Report(const SpoolerResult& result)
    {
        EXPECT_TRUE(result.ok) << result.step << " failed: " << result.error;
        return result.ok;
    }

    std::vector<std::wstring> m_Printers;
    std::vector<std::wstring> m_Drivers;
};

// Names of the local printers in spooler order (EnumPrintersW level 2).
inline std::vector<std::wstring> SpoolerPrinterNames()
{
    std::vector<std::wstring> names;
    for (int attempt = 0; attempt < 4 && names.empty(); ++attempt) {
        DWORD needed = 0, count = 0;
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed);
        if (needed && EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count))
            for (DWORD i = 0; i < count; ++i)
                names.push_back(reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data())[i].pPrinterName);
    }
    return names;
}

} // namespace qsmtest
