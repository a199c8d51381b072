#pragma once
#include "win.h"
#include <string>
#include <vector>

// A monitoring-plugin range: [@]start:end, "~" for no lower end. A value alerts
// when it lies outside start..end, or inside with "@".
struct Range {
    bool set = false;
    bool inside = false;
    double start = 0;
    double end = 0;
    bool startInfinite = false;
    bool endInfinite = false;

    bool Alerts(double value) const;
    // As the plugin performance data writes it; empty when not set.
    std::wstring Text() const;
};

// levelStyle: a bare number N means "below N" (N:), the way a level that runs
// low is watched; otherwise the plugin meaning "above N" (0:N).
bool ParseRange(const std::wstring& text, bool levelStyle, Range& range);

struct Thresholds {
    Range warn;
    Range crit;
};

struct CheckLimits {
    Thresholds ink;
    Thresholds uv;
    Thresholds queue;
    CheckLimits();
};

enum class Mode { Table, Json, Prometheus, Checkmk, Check, List, SaveLog, Help, Version };

struct Options {
    Mode mode = Mode::Table;
    std::wstring printer;
    CheckLimits limits;
    DWORD timeoutS = 0;
    std::wstring logPrinter;
    std::wstring logFile;
};

constexpr DWORD kDefaultTimeoutS = 8;
// The window's limit for the first log data, and a little for the connection.
constexpr DWORD kLogTimeoutS = 185;

extern const wchar_t* const kUsage;

// False with the problem in words; a --check among the arguments still counts
// in mode, so that even wrong arguments get a plugin line.
bool ParseOptions(const std::vector<std::wstring>& args, Options& o, std::wstring& problem);
