#pragma once
#include "options.h"
#include "win.h"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What one run learnt about one printer, as its status window would have shown it.
struct PrinterReport {
    std::wstring name;
    std::wstring port;
    std::wstring driver;
    std::optional<uint64_t> driverVersion;
    bool finished = true;   // false: the run's time was up before its cycles were
    bool connected = false; // a polling cycle reached the language monitor
    bool answered = false;  // and the monitor told something
    UINT status = 0;        // the last status code other than 0; 0 for none
    std::optional<UINT> ink; // as the monitor sent them (0..255)
    std::optional<UINT> uv;
    std::optional<WORD> number;
    std::optional<std::string> materialCode;
    std::optional<std::string> jobName;
    std::optional<UINT> queuedJobs; // none when the spooler could not tell
    bool hasError = false;
    std::string errorCode;  // eight characters
    std::wstring errorText; // the text the printer sent with it
};

// One run: every format reads this and nothing else.
struct RunRecord {
    std::wstring checkedAt;   // UTC, ISO 8601
    std::wstring version;     // the program's
    std::wstring unreachable; // the sentence for a language monitor that cannot be reached
    std::wstring timeUp;      // the sentence for a printer that did not finish
    std::vector<PrinterReport> printers;
};

// Monitoring-plugin states, as exit codes.
enum CheckState { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };
const wchar_t* StateName(CheckState state);

// A printer as --check judges it: its state, what is wrong (worst first), and
// its values in words.
struct Verdict {
    CheckState state = kOk;
    std::vector<std::wstring> problems;
    std::wstring values;
};
Verdict Judge(const PrinterReport& p, const CheckLimits& limits, const RunRecord& run);
// Of two states the worse: a printer that cannot be read hides more than a warning.
CheckState Worse(CheckState a, CheckState b);

// A printer name or text on a line that "|", CR or LF would break: they are
// replaced by look-alikes that are plainly not the character itself.
std::wstring Visible(const std::wstring& text);

std::wstring FormatTable(const RunRecord& run);
std::wstring FormatJson(const RunRecord& run, const CheckLimits& limits);
std::wstring FormatPrometheus(const RunRecord& run);
std::wstring FormatCheckmk(const RunRecord& run, const CheckLimits& limits);
// The plugin output (one line, or a summary line and one line per printer) and its state.
std::wstring FormatCheck(const RunRecord& run, const CheckLimits& limits, CheckState& state);
// The first line of --check alone, for the outcomes without a printer.
std::wstring CheckLine(CheckState state, const std::wstring& text);
