#pragma once
// The simulator's command line. Pure C++ like the scenario.
#include "lmsim/faults.h"
#include "lmsim/scenario.h"
#include <cstdint>
#include <string>
#include <vector>

namespace lmsim {

constexpr unsigned kDefaultPrinters = 8;
constexpr uint32_t kMaxLogSize = 64u * 1024 * 1024;

struct Options {
    bool help = false;
    bool portGiven = false;
    uint16_t port = 0; // 0: any free port
    ScenarioKind scenario = ScenarioKind::Demo;
    uint32_t logSize = kDefaultLogSize;
    Fault fault = Fault::None;
    unsigned printers = kDefaultPrinters;
    uint32_t durationSec = 0; // 0: until Ctrl+C
    uint32_t stallAfter = kDefaultStallAfter;
    uint32_t seed = 1;
    bool quiet = false;
};

// Reads the arguments after the program name. Returns an empty string when they are
// fine, otherwise what is wrong with them.
std::string ParseOptions(const std::vector<std::string>& args, Options& options);

const char* UsageText();
const char* ScenarioName(ScenarioKind kind);

} // namespace lmsim
