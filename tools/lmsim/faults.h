#pragma once
// How an answer goes onto the wire, bent by the chosen fault. Pure C++ like the scenario.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lmsim {

enum class Fault { None, Silence, Slow, Drop, Random, Short, Flood, Stall, Flap, Endless };

// Large answers (the log) go out in bursts of this size with a short gap, the way a
// printer streams them.
constexpr size_t kBurstBytes = 65536;
constexpr uint32_t kBurstGapMs = 20;
// slow: every answer in this many bursts, each after a pause. The gaps stay well
// below the monitor's 5 s wait between chunks of one answer.
constexpr size_t kSlowBursts = 4;
constexpr uint32_t kSlowGapMs = 400;
constexpr size_t kFloodBytes = 100 * 1024;
constexpr uint32_t kDefaultStallAfter = 10;
// endless: after the answer, filler in bursts of this size until the peer goes.
constexpr size_t kEndlessBytes = 16384;
// random: answer lengths; one answer in eight is longer than the monitor's 1024-byte receive chunk.
constexpr size_t kRandomShortMax = 64;
constexpr size_t kRandomLongMin = 1025;
constexpr size_t kRandomLongMax = 4096;

struct Burst {
    uint32_t delayMs; // pause before these bytes
    std::string bytes;
};

struct Plan {
    std::vector<Burst> bursts; // empty: no answer
    bool close = false;        // close the connection afterwards
    std::string endless;       // sent over and over after the bursts, until the connection ends
    std::string note;          // for the console line; empty when nothing was bent
};

// Stateful per connection: stall and short count the requests of their connection,
// random draws from its own seeded generator so a run can be repeated.
class FaultShaper {
public:
    FaultShaper(Fault fault, uint32_t stallAfter, uint32_t seed);

    Plan Shape(const std::string& answer);

private:
    Plan Normal(const std::string& answer) const;
    Plan Slow(const std::string& answer) const;
    Plan Random();
    Plan Short(const std::string& answer) const;
    Plan Flood(const std::string& answer) const;
    Plan Flap(const std::string& answer);

    Fault m_Fault;
    uint32_t m_StallAfter;
    uint64_t m_Requests = 0; // requests shaped before the current one
    uint64_t m_Flaps = 0;    // error answers bent so far
    std::mt19937 m_Random;
};

const char* FaultName(Fault fault);

} // namespace lmsim
