#pragma once
#include "win.h"
#include <functional>
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
    ~SpoolerFixture();
    SpoolerFixture(const SpoolerFixture&) = delete;
    SpoolerFixture& operator=(const SpoolerFixture&) = delete;

    // "p<process id>", the suffix of every name made here.
    static std::wstring Tag();
    static std::wstring Unique(const std::wstring& base) { return base + L" " + Tag(); }
    // A driver whose name contains "QUILLOR", and one whose name does not.
    static std::wstring QuillorDriver() { return Unique(L"VESTRANO QUILLOR 2"); }
    static std::wstring OtherDriver() { return Unique(L"VESTRANO LASER 5"); }
    // A port of the prefix whose name begins with "COM".
    static std::wstring ComPort() { return L"COM1:"; }
    // The test DLL next to the running test program.
    static std::wstring TestDllPath();
    static const wchar_t* const kTestDllName; // L"quillortest.dll"
    static const wchar_t* const kDataFileName; // L"quillortest.gpd"

    bool AddDriver(const std::wstring& driver);
    bool InstallPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver);
    bool ChangePort(const std::wstring& name, const std::wstring& port);
    // Reads the printer's PRINTER_INFO_2W, lets edit change it and writes it back
    // (SetPrinterW level 2); pointers set by edit must live until it returns.
    bool ChangeSettings(const std::wstring& name, const std::function<void(PRINTER_INFO_2W&)>& edit);
    bool RemovePrinter(const std::wstring& name);

    const std::vector<std::wstring>& Printers() const { return m_Printers; }

private:
    std::vector<std::wstring> m_Printers;
    std::vector<std::wstring> m_Drivers;
};

// Names of the local printers in spooler order (EnumPrintersW level 2).
std::vector<std::wstring> SpoolerPrinterNames();

} // namespace qsmtest
