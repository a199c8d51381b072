#pragma once
// What the simulated language monitor says, as a function of time. Pure C++:
// no Windows headers, so the answer logic can be tested and fuzzed natively.
#include <array>
#include <cstdint>
#include <string>

namespace lmsim {

enum class ScenarioKind { Demo, Static, Errors };

// Request codes; a polled answer carries the code + 0x80.
enum Command : uint8_t {
    CmdInk = 1,
    CmdUvLamp = 2,
    CmdStatus = 3,
    CmdLog = 4,
    CmdGate = 5,
    CmdMaterial = 6,
    CmdJobName = 7,
    CmdNumber = 9,
    CmdError = 10,
    CmdPrinterJob = 11,
    CmdDriverJob = 12,
};

// Status codes are text numbers of the language file.
enum StatusCode : uint8_t {
    StatusNone = 0,
    StatusReady = 40,
    StatusPrinting = 41,
    StatusWarmingUp = 42,
    StatusCleaning = 43,
    StatusPaused = 44,
    StatusInkLow = 45,
    StatusCoverOpen = 46,
    StatusCoolingDown = 47,
};

// Sent instead of a status answer; the monitor shows it as status 25.
constexpr uint8_t kAnswerReset = 0x88;
// Answer code for a command this monitor does not know.
constexpr uint8_t kAnswerUnknown = 0xFF;

// Error IDs that the language file knows; any other falls back to its DEFAULT entry.
constexpr const char* kErrorNone = "00000000";
constexpr const char* kErrorInkEmpty = "0000012A";
constexpr const char* kErrorUvLamp = "00000130";
constexpr const char* kErrorMediaJam = "00000201";
constexpr const char* kErrorCoverOpen = "00000305";
constexpr const char* kErrorUnknown = "0000ABCD";

constexpr uint32_t kDefaultLogSize = 326654; // answer of 326656 bytes, what the monitor expects
constexpr unsigned kMaxPrinters = 256;       // the index is one byte

struct PrinterState {
    uint8_t ink = 0;    // 0..100
    uint8_t uvLamp = 0; // 0..100
    uint8_t status = StatusNone;
    uint16_t firmware = 0;
    std::string material;
    std::string jobName;
    std::string driverJob;
    std::string printerJob;
    std::string errorId = kErrorNone;
    std::string errorText; // UTF-8
};

class Scenario {
public:
    Scenario(ScenarioKind kind, uint32_t logSize, unsigned printers);

    ScenarioKind GetKind() const { return m_Kind; }
    uint32_t GetLogSize() const { return m_LogSize; }
    bool Knows(unsigned index) const { return index < m_Printers; }

    // The printer's state ms milliseconds after the start.
    PrinterState StateAt(unsigned index, uint64_t ms) const;
    // The log of a printer: GetLogSize() bytes, text lines with binary records in between.
    std::string Log(unsigned index) const;

private:
    PrinterState DemoState(unsigned index, uint64_t ms) const;
    PrinterState StaticState(unsigned index) const;
    PrinterState ErrorsState(unsigned index, uint64_t ms) const;

    ScenarioKind m_Kind;
    uint32_t m_LogSize;
    unsigned m_Printers;
};

struct Reply {
    std::string bytes;
    std::string note; // for the console line, e.g. "ink 72"
};

// The answers on one connection. Status codes are reported once per change, so it
// remembers per printer what this connection has been told.
class Session {
public:
    explicit Session(const Scenario& scenario) : m_Scenario(scenario) {}

    Reply Answer(uint8_t command, uint8_t index, uint64_t ms);

private:
    struct Told {
        bool reset = false;
        uint8_t status = StatusNone;
    };

    Reply StatusAnswer(uint8_t index, const PrinterState& state);

    const Scenario& m_Scenario;
    std::array<Told, kMaxPrinters> m_Told{};
};

// The error text as the monitor expects it: four upper-case hex digits per UTF-16
// code unit. Malformed UTF-8 becomes U+FFFD.
std::string EncodeErrorText(const std::string& utf8);

// Answer bytes 2.. of command 10: the 8-character error ID and the encoded text.
std::string ErrorPayload(const PrinterState& state);

} // namespace lmsim
