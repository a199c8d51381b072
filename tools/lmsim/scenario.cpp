#include "lmsim/scenario.h"
#include <cstdio>

namespace lmsim {

namespace {

// Demo timeline: a short start-up, then a loop of three jobs of 20 s each. The
// first error comes 5 s after the start so that a short demo shows it.
constexpr uint64_t kWarmUpEndMs = 1500;
constexpr uint64_t kStartUpEndMs = 3000;
constexpr uint64_t kLoopMs = 60000;
constexpr uint64_t kJobMs = 20000;
constexpr uint64_t kJobHandOverMs = 500; // the printer still reports the previous job
constexpr uint64_t kRefillMs = 12000;
constexpr uint64_t kCoolingStartMs = 54000;
constexpr uint64_t kCoolingEndMs = 57000;
// Later printers start later, so that several windows do not move in step.
constexpr uint64_t kIndexDelayMs = 8000;
constexpr unsigned kFirstJob = 1001;

struct Phase {
    uint64_t fromMs;
    uint8_t status;
};

const Phase kDemoPhases[] = {
    {0, StatusPrinting},      {1000, StatusInkLow},     {2000, StatusPaused},     {kRefillMs, StatusPrinting},
    {18000, StatusReady},     {20000, StatusPrinting},  {26000, StatusCleaning},  {29000, StatusPrinting},
    {32000, StatusPaused},    {38000, StatusPrinting},  {46000, StatusCoverOpen}, {50000, StatusPrinting},
    {kCoolingStartMs, StatusCoolingDown}, {kCoolingEndMs, StatusReady},
};

struct ErrorSpan {
    uint64_t fromMs;
    uint64_t toMs;
    const char* id;
    const char* text;
};

const char* const kMediaJamText = "Media jam at feed roller 2 \xE2\x80\x93 open cover B";

const ErrorSpan kDemoErrors[] = {
    {2000, kRefillMs, kErrorInkEmpty, "Ink tank empty"},
    {32000, 38000, kErrorMediaJam, kMediaJamText},
    {46000, 50000, kErrorCoverOpen, "Cover open"},
};

const char* const kJobNames[] = {"poster_A2.pdf", "label_sheet_12.pdf", "banner_3m.tif", "photo_canvas_60x40.jpg"};
const char* const kMaterials[] = {"UV-INK CMYK 1L / LOT 24-117", "UV-INK WHITE 1L / LOT 24-090",
                                  "UV-VARNISH 500ML / LOT 23-311"};

// The errors scenario walks through every error the language file knows, and one it does not.
struct ErrorStep {
    const char* id;
    const char* text;
    uint8_t status;
    uint8_t ink;
    uint8_t uvLamp;
};

constexpr uint64_t kErrorStepMs = 8000;
const ErrorStep kErrorSteps[] = {
    {kErrorInkEmpty, "Ink tank empty", StatusPaused, 0, 90},
    {kErrorUvLamp, "UV lamp failure", StatusCoolingDown, 55, 0},
    {kErrorMediaJam, kMediaJamText, StatusPaused, 55, 90},
    {kErrorCoverOpen, "Cover open", StatusCoverOpen, 55, 90},
    {kErrorUnknown, "Unknown fault 0xABCD", StatusPaused, 55, 90},
};

template <class T, size_t N>
constexpr size_t Count(const T (&)[N])
{
    return N;
}

uint8_t Linear(uint64_t from, uint64_t to, uint64_t elapsed, uint64_t span)
{
    // from + (to - from) * elapsed / span, for either direction
    if (to >= from)
        return static_cast<uint8_t>(from + (to - from) * elapsed / span);
    return static_cast<uint8_t>(from - (from - to) * elapsed / span);
}

void AppendUnit(std::string& out, uint32_t unit)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
}

// One code point from s at pos; advances pos. Malformed input yields U+FFFD and
// advances one byte, so that nothing is skipped silently.
uint32_t NextCodePoint(const std::string& s, size_t& pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    size_t length;
    uint32_t cp;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + length > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += length;
    return cp;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string LogLine(unsigned index, unsigned number)
{
    static const char* const kMessages[] = {
        "INFO  printer ready",
        "INFO  job %u started",
        "INFO  ink level %u %%",
        "WARN  head temperature %u C",
        "INFO  UV lamp on, %u h",
        "ERROR 0000012A ink tank empty (job %u)",
        "INFO  cleaning cycle %u done",
        "INFO  job %u finished",
    };
    char message[96];
    std::snprintf(message, sizeof message, kMessages[number % Count(kMessages)], kFirstJob + number / 8);
    const unsigned seconds = number * 7;
    char line[160];
    // Most lines end in CR LF, every fifth in a bare LF: the log goes to the file as it is.
    std::snprintf(line, sizeof line, "%06u 2024-05-14 %02u:%02u:%02u PRN%u %s%s", number, 8 + seconds / 3600 % 16,
                  seconds / 60 % 60, seconds % 60, index, message, number % 5 == 4 ? "\n" : "\r\n");
    return line;
}

std::string LogRecord(unsigned number)
{
    // A binary record: zero bytes, line ends and a Ctrl+Z, which a text-mode copy would change.
    const char record[] = {0, 0, 0, 0, static_cast<char>(number & 0xFF), static_cast<char>((number >> 8) & 0xFF),
                           0, 0, 'R', 'E', 'C', 0, '\n', '\r', 0x1A, 0};
    return std::string(record, sizeof record);
}

} // namespace

Scenario::Scenario(ScenarioKind kind, uint32_t logSize, unsigned printers)
    : m_Kind(kind), m_LogSize(logSize), m_Printers(printers > kMaxPrinters ? kMaxPrinters : printers)
{
}

PrinterState Scenario::StateAt(unsigned index, uint64_t ms) const
{
    switch (m_Kind) {
    case ScenarioKind::Static:
        return StaticState(index);
    case ScenarioKind::Errors:
        return ErrorsState(index, ms);
    case ScenarioKind::Demo:
        break;
    }
    return DemoState(index, ms);
}

PrinterState Scenario::StaticState(unsigned index) const
{
    PrinterState s;
    s.ink = 72;
    s.uvLamp = 90;
    s.status = StatusReady;
    s.firmware = static_cast<uint16_t>(300 + index);
    s.material = kMaterials[index % Count(kMaterials)];
    s.jobName = kJobNames[0];
    s.driverJob = s.printerJob = std::to_string(kFirstJob);
    return s;
}

PrinterState Scenario::ErrorsState(unsigned index, uint64_t ms) const
{
    PrinterState s = StaticState(index);
    const ErrorStep& step = kErrorSteps[ms / kErrorStepMs % Count(kErrorSteps)];
    s.jobName = "error_test.pdf";
    s.driverJob = s.printerJob = "2001";
    s.status = step.status;
    s.ink = step.ink;
    s.uvLamp = step.uvLamp;
    s.errorId = step.id;
    s.errorText = step.text;
    return s;
}

PrinterState Scenario::DemoState(unsigned index, uint64_t ms) const
{
    PrinterState s;
    s.firmware = static_cast<uint16_t>(300 + index);
    s.material = kMaterials[index % Count(kMaterials)];
    const uint64_t delay = kIndexDelayMs * index;
    const uint64_t t = ms > delay ? ms - delay : 0;
    if (t < kStartUpEndMs) {
        s.ink = 30;
        s.uvLamp = t < kWarmUpEndMs ? Linear(0, 90, t, kWarmUpEndMs) : 90;
        s.status = t < kWarmUpEndMs ? StatusWarmingUp : StatusReady;
        return s;
    }
    const uint64_t cycle = (t - kStartUpEndMs) / kLoopMs;
    const uint64_t u = (t - kStartUpEndMs) % kLoopMs;

    for (const Phase& p : kDemoPhases) {
        if (u >= p.fromMs)
            s.status = p.status;
    }
    for (const ErrorSpan& e : kDemoErrors) {
        if (u >= e.fromMs && u < e.toMs) {
            s.errorId = e.id;
            s.errorText = e.text;
        }
    }

    // The ink runs dry early in the loop, is refilled and then drains slowly back
    // to where the loop starts.
    if (u < 2000)
        s.ink = Linear(30, 0, u, 2000);
    else if (u < kRefillMs)
        s.ink = 0;
    else
        s.ink = Linear(100, 30, u - kRefillMs, kLoopMs - kRefillMs);

    if (u >= kCoolingStartMs && u < kCoolingEndMs)
        s.uvLamp = Linear(90, 30, u - kCoolingStartMs, kCoolingEndMs - kCoolingStartMs);
    else if (u >= kCoolingEndMs)
        s.uvLamp = 30;
    else if (cycle > 0 && u < kWarmUpEndMs)
        s.uvLamp = Linear(30, 90, u, kWarmUpEndMs);
    else
        s.uvLamp = static_cast<uint8_t>(88 + u / 1000 % 5);

    const uint64_t job = cycle * (kLoopMs / kJobMs) + u / kJobMs;
    s.jobName = kJobNames[job % Count(kJobNames)];
    s.driverJob = std::to_string(kFirstJob + job);
    const bool handOver = u % kJobMs < kJobHandOverMs;
    if (!handOver)
        s.printerJob = s.driverJob;
    else if (job > 0)
        s.printerJob = std::to_string(kFirstJob + job - 1);
    return s;
}

std::string Scenario::Log(unsigned index) const
{
    std::string log;
    log.reserve(m_LogSize + 160);
    const char header[] = {'Q', 'L', 'O', 'G', 0, 1, static_cast<char>(index & 0xFF), 0};
    log.append(header, sizeof header);
    for (unsigned number = 1; log.size() < m_LogSize; ++number) {
        log += LogLine(index, number);
        if (number % 8 == 0)
            log += LogRecord(number);
    }
    log.resize(m_LogSize);
    return log;
}

Reply Session::Answer(uint8_t command, uint8_t index, uint64_t ms)
{
    const auto answer = [command](std::string payload, std::string note) {
        std::string bytes{static_cast<char>(command | 0x80), 0};
        return Reply{bytes + payload, std::move(note)};
    };
    const bool known = command >= CmdInk && command <= CmdDriverJob && command != 8;
    if (!known)
        return Reply{std::string{static_cast<char>(kAnswerUnknown), 0}, "unknown command"};
    if (!m_Scenario.Knows(index))
        return answer("", "unknown printer");

    const PrinterState s = m_Scenario.StateAt(index, ms);
    switch (command) {
    case CmdInk:
        return answer(std::string(1, static_cast<char>(s.ink)), "ink " + std::to_string(s.ink));
    case CmdUvLamp:
        return answer(std::string(1, static_cast<char>(s.uvLamp)), "uv " + std::to_string(s.uvLamp));
    case CmdStatus:
        return StatusAnswer(index, s);
    case CmdLog:
        return answer(m_Scenario.Log(index), "log " + std::to_string(m_Scenario.GetLogSize()) + " bytes");
    case CmdGate:
        return answer(std::string("\x01\x00\x00\x00", 4), "gate");
    case CmdMaterial:
        return answer(s.material, "material " + Quoted(s.material));
    case CmdJobName:
        return answer(s.jobName, "job " + Quoted(s.jobName));
    case CmdNumber: {
        const char number[] = {static_cast<char>(s.firmware & 0xFF), static_cast<char>(s.firmware >> 8)};
        return answer(std::string(number, 2), "number " + std::to_string(s.firmware));
    }
    case CmdError:
        return answer(ErrorPayload(s),
                      s.errorId == kErrorNone ? "no error" : "error " + s.errorId + " " + Quoted(s.errorText));
    case CmdPrinterJob:
        return answer(s.printerJob, "printer job " + Quoted(s.printerJob));
    case CmdDriverJob:
        return answer(s.driverJob, "driver job " + Quoted(s.driverJob));
    default:
        break;
    }
    return Reply{std::string{static_cast<char>(kAnswerUnknown), 0}, "unknown command"};
}

Reply Session::StatusAnswer(uint8_t index, const PrinterState& state)
{
    Told& told = m_Told[index];
    if (m_Scenario.GetKind() == ScenarioKind::Demo && !told.reset) {
        told.reset = true;
        return Reply{std::string{static_cast<char>(kAnswerReset), 0}, "reset (status 25)"};
    }
    uint8_t code = StatusNone;
    if (state.status != told.status)
        code = told.status = state.status;
    std::string bytes{static_cast<char>(0x80 | CmdStatus), 0, static_cast<char>(code)};
    return Reply{bytes, code ? "status " + std::to_string(code) : "status 0 (no change)"};
}

std::string EncodeErrorText(const std::string& utf8)
{
    std::string hex;
    hex.reserve(utf8.size() * 4);
    for (size_t pos = 0; pos < utf8.size();) {
        const uint32_t cp = NextCodePoint(utf8, pos);
        if (cp >= 0x10000) {
            AppendUnit(hex, 0xD800 + ((cp - 0x10000) >> 10));
            AppendUnit(hex, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            AppendUnit(hex, cp);
        }
    }
    return hex;
}

std::string ErrorPayload(const PrinterState& state)
{
    return state.errorId + EncodeErrorText(state.errorText);
}

} // namespace lmsim
