#pragma once
#include "handle.h"
#include <string>
#include <winspool.h>

namespace qsmtest {

// The spooler steps that install the demo printers; the tests' SpoolerFixture uses them
// too, so both install a printer the same way.

// The printer opened with full access; not valid when it cannot be opened.
mrvAPI::mrvSpoolerHandle OpenPrinterForAdmin(const std::wstring& printer);

struct SpoolerResult {
    bool ok = true;
    DWORD error = 0;  // GetLastError() of the failed step
    std::string step; // what failed, for the report
};

// Copies the test DLL (as driver, configuration and dependent file) and a data file
// into the driver folder and adds the driver (level 3). Files that another process is
// copying at the same moment are as good as a fresh copy.
SpoolerResult AddTestDriver(const std::wstring& driver, const std::wstring& dllPath);
// A local printer with the winprint processor; a printer of that name left behind by
// an aborted run is replaced.
SpoolerResult AddLocalPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver);
SpoolerResult DeleteLocalPrinter(const std::wstring& name);
SpoolerResult DeleteDriver(const std::wstring& driver);

inline constexpr const wchar_t* kDriverDllName = L"quillortest.dll";
inline constexpr const wchar_t* kDriverDataName = L"quillortest.gpd";

} // namespace qsmtest
