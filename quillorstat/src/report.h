#pragma once
#include "win.h"
#include <optional>
#include <string>
#include <vector>

// What one run learnt about one printer, as its status window would have shown it.
struct PrinterReport {
    std::wstring name;
    std::wstring port;
    bool connected = false; // a polling cycle reached the language monitor
    bool answered = false;  // and the monitor told something
    UINT status = 0;        // the last status code other than 0; 0 for none
    std::optional<UINT> ink; // as the monitor sent them (0..255)
    std::optional<UINT> uv;
    std::optional<WORD> number;
    std::optional<std::string> materialCode;
    std::optional<std::string> jobName;
    UINT queuedJobs = 0;
    bool hasError = false;
    std::string errorCode;      // eight characters
    std::wstring errorText;     // the text the printer sent with it
};

struct CheckLimits {
    UINT warn = 15;
    UINT crit = 5;
};

// Monitoring-plugin states, as exit codes.
enum CheckState { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

// unreachable: the sentence for a printer whose language monitor could not be reached.
std::wstring FormatTable(const std::vector<PrinterReport>& printers, const std::wstring& unreachable);
std::wstring FormatJson(const std::vector<PrinterReport>& printers, const std::wstring& version);
std::wstring FormatPrometheus(const std::vector<PrinterReport>& printers);
// One plugin line and its state.
std::wstring FormatCheck(const std::vector<PrinterReport>& printers, const CheckLimits& limits,
                         const std::wstring& unreachable, CheckState& state);
