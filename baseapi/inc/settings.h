#pragma once
#include "win.h"
#include <string>

namespace mrvAPI {

// Readers of the values that the driver's installation writes under
// HKLM "Software\Morvane\Config\". Nothing is cached: each call reads afresh.
class mrvSettings {
public:
    // "PrinterFilter"; empty when missing (writes debugLine, e.g. "WinMain").
    static std::wstring ReadPrinterFilter(const char* debugLine);
    // "UpdateTime" in ms; 1000 when missing (debug line "mrvMainDialog::mrvMainDialog").
    static DWORD ReadUpdateTime();
    // "TCPPort" (REG_DWORD); false when the key or the value cannot be read.
    static bool ReadTcpPort(DWORD& port);
    // "Path"; throws "Failed to read configuration." when missing.
    static std::wstring ReadPath();
};

} // namespace mrvAPI
