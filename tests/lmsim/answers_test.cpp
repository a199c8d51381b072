// The simulator's answer logic against its README: scenarios, faults, options.
#include "bytes.h"
#include "lmsim/faults.h"
#include "lmsim/options.h"
#include <algorithm>
#include <tuple>
#include <gtest/gtest.h>

using namespace lmsim;
using qsmtest::Bytes;

namespace {

// The error ID the monitor's job and error check would take at time ms; "" when it stops.
std::string ErrorSeenByMonitor(Session& session, uint8_t index, uint64_t ms)
{
    if (session.Answer(CmdGate, index, ms).bytes.size() <= 4)
        return "";
    const std::string driver = session.Answer(CmdDriverJob, index, ms).bytes.substr(2);
    if (session.Answer(CmdPrinterJob, index, ms).bytes.substr(2) != driver)
        return "";
    return session.Answer(CmdError, index, ms).bytes.substr(2, 8);
}

std::string Joined(const Plan& plan)
{
    std::string all;
    for (const Burst& b : plan.bursts)
        all += b.bytes;
    return all;
}

} // namespace

TEST(LmsimAnswers, WireFormPrintersAndStatusOncePerChange)
{
    Scenario demo(ScenarioKind::Demo, kDefaultLogSize, 2);
    Session session(demo);
    const struct {
        uint8_t command, index;
        uint64_t ms;
        std::string bytes;
    } steps[] = {
        {CmdStatus, 0, 0, Bytes({0x88, 0})}, // first contact: the monitor shows status 25
        {CmdStatus, 0, 10, Bytes({0x83, 0, 42})},
        {CmdStatus, 0, 900, Bytes({0x83, 0, 0})}, // nothing new
        {CmdStatus, 1, 900, Bytes({0x88, 0})},    // each printer has its own memory
        {CmdStatus, 0, 1500, Bytes({0x83, 0, 40})},
        {CmdInk, 0, 5000, Bytes({0x81, 0, 0})},
        {CmdGate, 0, 5000, Bytes({0x85, 0, 1, 0, 0, 0})},
        {CmdNumber, 0, 5000, Bytes({0x89, 0, 0x2C, 0x01})},
        {CmdNumber, 1, 5000, Bytes({0x89, 0, 0x2D, 0x01})},
        {CmdJobName, 0, 5000, Bytes({0x87, 0}) + "poster_A2.pdf"},
        {CmdError, 0, 5000, Bytes({0x8A, 0}) + "0000012A" + EncodeErrorText("Ink tank empty")},
        {8, 0, 5000, Bytes({0xFF, 0})}, // 0x88 would read as status 25
        {CmdInk, 2, 0, Bytes({0x81, 0})}, // past --printers: the bare answer
        {CmdLog, 2, 0, Bytes({0x84, 0})},
    };
    for (const auto& s : steps)
        EXPECT_EQ(session.Answer(s.command, s.index, s.ms).bytes, s.bytes) << int(s.command) << " at " << s.ms;
    Scenario still(ScenarioKind::Static, 0, 1);
    Session quiet(still); // static never sends the reset answer
    EXPECT_EQ(quiet.Answer(CmdStatus, 0, 0).bytes, Bytes({0x83, 0, 40}));
    EXPECT_EQ(quiet.Answer(CmdInk, 0, 3600000).bytes, Bytes({0x81, 0, 72}));
}

TEST(LmsimAnswers, ErrorsAppearAndClearAsTheMonitorSeesThem)
{
    const struct {
        ScenarioKind kind;
        unsigned index;
        uint64_t until;
        std::vector<std::pair<uint64_t, std::string>> changes;
    } cases[] = {
        {ScenarioKind::Demo, 0, 63000,
         {{5000, "0000012A"}, {15000, "00000000"}, {35000, "00000201"}, {41000, "00000000"}, {49000, "00000305"},
          {53000, "00000000"}}},
        {ScenarioKind::Demo, 1, 14000, {{13000, "0000012A"}}}, // eight seconds later
        {ScenarioKind::Errors, 0, 41000,
         {{0, "0000012A"}, {8000, "00000130"}, {16000, "00000201"}, {24000, "00000305"}, {32000, "0000ABCD"},
          {40000, "0000012A"}}},
        {ScenarioKind::Static, 0, 63000, {}},
    };
    for (const auto& c : cases) {
        Scenario scenario(c.kind, 0, 2);
        Session session(scenario);
        std::vector<std::pair<uint64_t, std::string>> changes;
        std::string last = kErrorNone;
        for (uint64_t ms = 0; ms < c.until; ms += 250) {
            const std::string seen = ErrorSeenByMonitor(session, static_cast<uint8_t>(c.index), ms);
            if (!seen.empty() && seen != last)
                changes.emplace_back(ms, seen);
            last = seen.empty() ? last : seen;
        }
        EXPECT_EQ(changes, c.changes) << ScenarioName(c.kind) << " " << c.index;
    }
}

TEST(LmsimAnswers, ErrorTextIsHexOfUtf16CodeUnits)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Ink", "0049006E006B"},       {"\xE2\x82\xAC", "20AC"},   {"\xF0\x9F\x98\x80", "D83DDE00"},
        {"A\xFF" "B", "0041FFFD0042"}, {"\xC3" "A", "FFFD0041"}, {"\xED\xA0\x80", "FFFDFFFDFFFD"},
        {"\xC3\xA9", "00E9"},         {"\xC3", "FFFD"},         {"\xC0\x80", "FFFDFFFD"},
        {"\xF4\x8F\xBF\xBF", "DBFFDFFF"}, {"\xF4\x90\x80\x80", "FFFDFFFDFFFDFFFD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeErrorText(c.first), c.second) << c.second;
}

TEST(LmsimAnswers, LogHasTheMonitorsSizeAndBinaryRecords)
{
    Scenario scenario(ScenarioKind::Demo, kDefaultLogSize, 2);
    const std::string log = scenario.Log(0);
    ASSERT_EQ(log.size(), 326654u);
    EXPECT_EQ(log.substr(0, 8), Bytes({'Q', 'L', 'O', 'G', 0, 1, 0, 0}));
    EXPECT_GT(std::count(log.begin(), log.end(), '\0'), 1000);
    EXPECT_NE(log.find("\x1A"), std::string::npos);
    EXPECT_NE(log.find("INFO  printer ready\n"), std::string::npos);
    EXPECT_NE(log.find(" started\r\n"), std::string::npos);
    EXPECT_NE(scenario.Log(1), log);
}

TEST(LmsimFaults, WhatEachFaultSendsInTurn)
{
    const std::string ink = Bytes({0x81, 0, 0x48});
    const std::string material = Bytes({0x86, 0}) + "PLA-7";
    const struct {
        Fault fault;
        uint32_t stallAfter;
        std::string answer;
        std::vector<std::string> sent;
        bool close;
    } cases[] = {
        {Fault::None, 0, ink, {ink, ink}, false},
        {Fault::Silence, 0, ink, {"", ""}, false},
        {Fault::Drop, 0, ink, {"", ""}, true},
        {Fault::Stall, 2, ink, {ink, ink, "", ""}, false},
        {Fault::Short, 0, material, {material.substr(0, 1), material.substr(0, 2), material.substr(0, 6)}, false},
        {Fault::Short, 0, ink, {ink.substr(0, 1), ink.substr(0, 2), ink.substr(0, 2)}, false},
        {Fault::Short, 0, Bytes({0x81, 0}), {Bytes({0x81}), Bytes({0x81})}, false}, // never the whole answer
    };
    for (const auto& c : cases) {
        FaultShaper shaper(c.fault, c.stallAfter, 1);
        for (size_t i = 0; i < c.sent.size(); ++i) {
            const Plan p = shaper.Shape(c.answer);
            EXPECT_EQ(Joined(p), c.sent[i]) << FaultName(c.fault) << " #" << i;
            EXPECT_EQ(p.close, c.close);
        }
    }
    const std::string log = Bytes({0x84, 0}) + std::string(326654, 'L');
    EXPECT_EQ(FaultShaper(Fault::None, 0, 1).Shape(log).bursts.size(), 5u);
    const Plan slow = FaultShaper(Fault::Slow, 0, 1).Shape(ink);
    EXPECT_EQ(Joined(slow), ink);
    EXPECT_GE(slow.bursts.size(), 2u);
    const std::string flood = Joined(FaultShaper(Fault::Flood, 0, 1).Shape(material));
    EXPECT_EQ(flood.size(), 102400u);
    EXPECT_EQ(flood.find_first_not_of("0123456789ABCDEF", material.size()), std::string::npos);
    FaultShaper a(Fault::Random, 0, 7), b(Fault::Random, 0, 7);
    size_t longOnes = 0;
    for (int i = 0; i < 100; ++i) {
        const std::string x = Joined(a.Shape(ink));
        EXPECT_EQ(x, Joined(b.Shape(ink)));
        longOnes += x.size() >= kRandomLongMin && x.size() <= kRandomLongMax;
        EXPECT_TRUE(!x.empty() && (x.size() <= kRandomShortMax || x.size() >= kRandomLongMin)) << x.size();
    }
    EXPECT_GT(longOnes, 2u);
}

TEST(LmsimOptions, ParsesAndRejects)
{
    Options all;
    ASSERT_EQ(ParseOptions({"--port", "9100", "--scenario", "errors", "--log-size=0", "--fault", "stall",
                            "--stall-after", "4", "--printers", "256", "--duration", "20", "--quiet", "--seed", "42"},
                           all),
              "");
    EXPECT_EQ(std::make_tuple(all.port, all.scenario, all.logSize, all.fault, all.stallAfter, all.printers,
                              all.durationSec, all.quiet, all.seed),
              std::make_tuple(uint16_t(9100), ScenarioKind::Errors, 0u, Fault::Stall, 4u, 256u, 20u, true, 42u));
    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{}, "--port is required"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "bad value for --port: \"65536\""},
        {{"--port", "0", "--printers", "257"}, "bad value for --printers: \"257\""},
        {{"--port", "0", "extra"}, "unknown option \"extra\""},
    };
    for (const auto& c : bad) {
        Options x;
        EXPECT_EQ(ParseOptions(c.first, x), c.second);
    }
}
