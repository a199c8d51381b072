#include "lmsim/faults.h"
#include "lmsim/options.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace lmsim;

namespace {

const std::string kInk("\x81\x00\x48", 3);
const std::string kMaterial = std::string("\x86\x00", 2) + "UV-INK CMYK 1L / LOT 24-117";

std::string Joined(const Plan& plan)
{
    std::string all;
    for (const Burst& b : plan.bursts)
        all += b.bytes;
    return all;
}

std::string LogAnswer()
{
    std::string answer("\x84\x00", 2);
    for (size_t i = 0; answer.size() < 326656; ++i)
        answer += static_cast<char>(i * 7);
    return answer;
}

} // namespace

// What each fault sends when the same answer is asked for several times in a row.
TEST(LmsimFaults, WhatEachFaultSendsInTurn)
{
    const std::string k2("\x81\x00", 2);
    const struct {
        Fault fault;
        uint32_t stallAfter;
        std::string answer;
        std::vector<std::string> sent;
        bool close;
    } cases[] = {
        {Fault::None, 0, kInk, {kInk, kInk}, false},
        {Fault::None, 0, "", {""}, false},
        {Fault::Silence, 0, kInk, {"", ""}, false},
        {Fault::Drop, 0, kInk, {"", ""}, true},
        {Fault::Stall, 2, kInk, {kInk, kInk, "", ""}, false},
        {Fault::Stall, 0, kInk, {""}, false},
        // Short cuts below the value, by turns.
        {Fault::Short, 0, kInk, {kInk.substr(0, 1), kInk.substr(0, 2), kInk.substr(0, 2), kInk.substr(0, 1)}, false},
        {Fault::Short, 0, kMaterial,
         {kMaterial.substr(0, 1), kMaterial.substr(0, 2), kMaterial.substr(0, kMaterial.size() - 1)}, false},
        {Fault::Short, 0, k2, {k2.substr(0, 1), k2.substr(0, 1)}, false},
        {Fault::Short, 0, k2.substr(0, 1), {"", ""}, false},
    };
    for (const auto& c : cases) {
        FaultShaper shaper(c.fault, c.stallAfter, 1);
        for (size_t i = 0; i < c.sent.size(); ++i) {
            const Plan p = shaper.Shape(c.answer);
            EXPECT_EQ(Joined(p), c.sent[i]) << static_cast<int>(c.fault) << " #" << i;
            EXPECT_LE(p.bursts.size(), 1u);
            EXPECT_EQ(p.close, c.close);
        }
    }
}

// Large answers come in bursts within the monitor's waits (1 s for the first, 5 s between).
TEST(LmsimFaults, BurstsOfNoneSlowAndFlood)
{
    const std::string log = LogAnswer();
    FaultShaper none(Fault::None, 0, 1);
    const Plan big = none.Shape(log);
    EXPECT_EQ(big.bursts.size(), 5u);
    EXPECT_EQ(Joined(big), log);
    for (const Burst& b : big.bursts)
        EXPECT_LT(b.delayMs, 5000u);

    FaultShaper slow(Fault::Slow, 0, 1);
    for (const std::string& answer : {kInk, log, std::string("\x8C\x00", 2)}) {
        const Plan p = slow.Shape(answer);
        EXPECT_GE(p.bursts.size(), 2u) << answer.size();
        EXPECT_EQ(Joined(p), answer);
        for (const Burst& b : p.bursts) {
            EXPECT_FALSE(b.bytes.empty());
            EXPECT_LT(b.delayMs, 1000u);
            EXPECT_GT(b.delayMs, 0u);
        }
    }

    FaultShaper flood(Fault::Flood, 0, 1);
    const std::string padded = Joined(flood.Shape(kMaterial));
    EXPECT_EQ(padded.size(), 102400u);
    EXPECT_EQ(padded.substr(0, kMaterial.size()), kMaterial);
    EXPECT_EQ(padded.find_first_not_of("0123456789ABCDEF", kMaterial.size()), std::string::npos);
    EXPECT_EQ(Joined(flood.Shape(log)), log); // longer answers are not cut
}

TEST(LmsimFaults, RandomIsRepeatableAndHitsBothLengthRanges)
{
    FaultShaper a(Fault::Random, 0, 7);
    FaultShaper b(Fault::Random, 0, 7);
    FaultShaper other(Fault::Random, 0, 8);
    size_t shortOnes = 0, longOnes = 0, differentFromOther = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string x = Joined(a.Shape(kInk));
        EXPECT_EQ(x, Joined(b.Shape(kInk)));
        if (x != Joined(other.Shape(kInk)))
            ++differentFromOther;
        ASSERT_FALSE(x.empty());
        if (x.size() <= kRandomShortMax)
            ++shortOnes;
        else if (x.size() >= kRandomLongMin && x.size() <= kRandomLongMax)
            ++longOnes;
        else
            ADD_FAILURE() << "length " << x.size();
    }
    EXPECT_GT(shortOnes, 100u);
    EXPECT_GT(longOnes, 5u);
    EXPECT_GT(differentFromOther, 190u);
}

TEST(LmsimOptions, ParsesAndRejects)
{
    Options o;
    ASSERT_EQ(ParseOptions({"--port", "0"}, o), "");
    EXPECT_EQ(o.scenario, ScenarioKind::Demo);
    EXPECT_EQ(o.fault, Fault::None);
    EXPECT_EQ(o.logSize, kDefaultLogSize);

    Options all;
    ASSERT_EQ(ParseOptions({"--port", "9100", "--scenario", "errors", "--log-size=0", "--fault", "stall",
                            "--stall-after", "4", "--printers", "256", "--duration", "20", "--quiet", "--seed",
                            "42"},
                           all),
              "");
    EXPECT_EQ(all.port, 9100);
    EXPECT_EQ(all.scenario, ScenarioKind::Errors);
    EXPECT_EQ(all.logSize, 0u);
    EXPECT_EQ(all.fault, Fault::Stall);
    EXPECT_EQ(all.stallAfter, 4u);
    EXPECT_EQ(all.printers, 256u);
    EXPECT_EQ(all.durationSec, 20u);
    EXPECT_TRUE(all.quiet);
    EXPECT_EQ(all.seed, 42u);

    const struct {
        std::vector<std::string> args;
        const char* complaint;
    } bad[] = {
        {{}, "--port is required"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "bad value for --port: \"65536\""},
        {{"--port", "80x"}, "bad value for --port: \"80x\""},
        {{"--port", "0", "--scenario", "Demo"}, "bad value for --scenario: \"Demo\""},
        {{"--port", "0", "--printers", "257"}, "bad value for --printers: \"257\""},
        {{"--port", "0", "--duration", "99999999999"}, "bad value for --duration: \"99999999999\""},
        {{"--port", "0", "extra"}, "unknown option \"extra\""},
    };
    for (const auto& c : bad) {
        Options x;
        EXPECT_EQ(ParseOptions(c.args, x), c.complaint);
    }
}
