#include "lmsim/faults.h"
#include "lmsim/scenario.h"

namespace lmsim {

FaultShaper::FaultShaper(Fault fault, uint32_t stallAfter, uint32_t seed)
    : m_Fault(fault), m_StallAfter(stallAfter), m_Random(seed)
{
}

Plan FaultShaper::Shape(const std::string& answer)
{
    Plan plan;
    switch (m_Fault) {
    case Fault::None:
        plan = Normal(answer);
        break;
    case Fault::Silence:
        plan.note = "silence: no answer";
        break;
    case Fault::Slow:
        plan = Slow(answer);
        break;
    case Fault::Drop:
        plan.close = true;
        plan.note = "drop: closing without an answer";
        break;
    case Fault::Random:
        plan = Random();
        break;
    case Fault::Short:
        plan = Short(answer);
        break;
    case Fault::Flood:
        plan = Flood(answer);
        break;
    case Fault::Flap:
        plan = Flap(answer);
        break;
    case Fault::Endless:
        plan = Normal(answer);
        plan.endless.assign(kEndlessBytes, 'E');
        plan.note = "endless: filler after the answer until the peer goes";
        break;
    case Fault::Stall:
        if (m_Requests < m_StallAfter)
            plan = Normal(answer);
        else
            plan.note = "stall: no answer after " + std::to_string(m_StallAfter) + " requests";
        break;
    }
    ++m_Requests;
    return plan;
}

Plan FaultShaper::Normal(const std::string& answer) const
{
    Plan plan;
    for (size_t pos = 0; pos < answer.size(); pos += kBurstBytes)
        plan.bursts.push_back(Burst{pos ? kBurstGapMs : 0, answer.substr(pos, kBurstBytes)});
    if (plan.bursts.size() > 1)
        plan.note = std::to_string(plan.bursts.size()) + " bursts";
    return plan;
}

Plan FaultShaper::Slow(const std::string& answer) const
{
    Plan plan;
    const size_t piece = (answer.size() + kSlowBursts - 1) / kSlowBursts;
    for (size_t pos = 0; pos < answer.size(); pos += piece)
        plan.bursts.push_back(Burst{kSlowGapMs, answer.substr(pos, piece)});
    plan.note = "slow: " + std::to_string(plan.bursts.size()) + " bursts " + std::to_string(kSlowGapMs) + " ms apart";
    return plan;
}

Plan FaultShaper::Random()
{
    const bool longOne = m_Random() % 8 == 0;
    const size_t length = longOne ? kRandomLongMin + m_Random() % (kRandomLongMax - kRandomLongMin + 1)
                                  : 1 + m_Random() % kRandomShortMax;
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(m_Random() & 0xFF);
    Plan plan;
    plan.bursts.push_back(Burst{0, bytes});
    plan.note = "random: " + std::to_string(length) + " random bytes instead";
    return plan;
}

Plan FaultShaper::Short(const std::string& answer) const
{
    // In turn: the code byte alone, code and byte 1 without a value, all but the last byte.
    size_t keep = m_Requests % 3 == 0 ? 1 : m_Requests % 3 == 1 ? 2 : answer.size() - 1;
    if (answer.empty())
        keep = 0;
    else if (keep >= answer.size())
        keep = answer.size() - 1;
    Plan plan;
    if (keep)
        plan.bursts.push_back(Burst{0, answer.substr(0, keep)});
    plan.note = "short: " + std::to_string(keep) + " of " + std::to_string(answer.size()) + " bytes";
    return plan;
}

Plan FaultShaper::Flood(const std::string& answer) const
{
    // Hex digits as filler: past a text answer they make an over-long text, past an
    // error answer they still decode as code units.
    static const char kFiller[] = "0123456789ABCDEF";
    std::string bytes = answer;
    while (bytes.size() < kFloodBytes)
        bytes += kFiller[bytes.size() % 16];
    Plan plan;
    plan.bursts.push_back(Burst{0, bytes});
    plan.note = "flood: " + std::to_string(bytes.size()) + " bytes";
    return plan;
}

Plan FaultShaper::Flap(const std::string& answer)
{
    // A sensor that cannot make up its mind: every error answer names another
    // error than the one before, whatever the printer's state.
    static const char* const kCodes[] = {kErrorInkEmpty, kErrorUvLamp, kErrorMediaJam, kErrorCoverOpen};
    if (answer.size() < 2 || static_cast<uint8_t>(answer[0]) != (0x80 | CmdError))
        return Normal(answer);
    const char* code = kCodes[m_Flaps % 4];
    ++m_Flaps;
    Plan plan = Normal(answer.substr(0, 2) + code + EncodeErrorText(std::string("Flap ") + code));
    plan.note = std::string("flap: error ") + code;
    return plan;
}

const char* FaultName(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return "none";
    case Fault::Silence:
        return "silence";
    case Fault::Slow:
        return "slow";
    case Fault::Drop:
        return "drop";
    case Fault::Random:
        return "random";
    case Fault::Short:
        return "short";
    case Fault::Flood:
        return "flood";
    case Fault::Stall:
        return "stall";
    case Fault::Flap:
        return "flap";
    case Fault::Endless:
        return "endless";
    }
    return "?";
}

} // namespace lmsim
