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

TEST(LmsimFaults, NoneSendsSmallAnswersWholeAndTheLogInBursts)
{
    FaultShaper shaper(Fault::None, 0, 1);
    const Plan small = shaper.Shape(kInk);
    ASSERT_EQ(small.bursts.size(), 1u);
    EXPECT_EQ(small.bursts[0].delayMs, 0u);
    EXPECT_EQ(small.bursts[0].bytes, kInk);
    EXPECT_FALSE(small.close);

    const std::string log = LogAnswer();
    const Plan big = shaper.Shape(log);
    ASSERT_EQ(big.bursts.size(), 5u);
    EXPECT_EQ(Joined(big), log);
    for (size_t i = 1; i < big.bursts.size(); ++i)
        EXPECT_LT(big.bursts[i].delayMs, 5000u); // the monitor's wait between chunks

    EXPECT_TRUE(shaper.Shape("").bursts.empty());
}

TEST(LmsimFaults, SilenceDropAndStall)
{
    FaultShaper silence(Fault::Silence, 0, 1);
    FaultShaper drop(Fault::Drop, 0, 1);
    for (int i = 0; i < 3; ++i) {
        const Plan s = silence.Shape(kInk);
        EXPECT_TRUE(s.bursts.empty());
        EXPECT_FALSE(s.close);
        const Plan d = drop.Shape(kInk);
        EXPECT_TRUE(d.bursts.empty());
        EXPECT_TRUE(d.close);
    }

    FaultShaper stall(Fault::Stall, 3, 1);
    for (int i = 0; i < 6; ++i) {
        const Plan p = stall.Shape(kInk);
        EXPECT_EQ(Joined(p), i < 3 ? kInk : "") << i;
        EXPECT_FALSE(p.close);
    }
    FaultShaper atOnce(Fault::Stall, 0, 1);
    EXPECT_TRUE(atOnce.Shape(kInk).bursts.empty());
}

TEST(LmsimFaults, SlowSplitsEveryAnswerWithPauses)
{
    FaultShaper shaper(Fault::Slow, 0, 1);
    const struct {
        std::string answer;
        size_t bursts;
    } cases[] = {{kInk, 3}, {kMaterial, 4}, {LogAnswer(), 4}, {std::string("\x8C\x00", 2), 2}};
    for (const auto& c : cases) {
        const Plan p = shaper.Shape(c.answer);
        EXPECT_EQ(p.bursts.size(), c.bursts) << c.answer.size();
        EXPECT_EQ(Joined(p), c.answer);
        for (const Burst& b : p.bursts) {
            EXPECT_FALSE(b.bytes.empty());
            EXPECT_EQ(b.delayMs, kSlowGapMs);
        }
    }
    // The first piece still comes within the monitor's one-second wait.
    EXPECT_LT(shaper.Shape(kInk).bursts[0].delayMs, 1000u);
}

TEST(LmsimFaults, ShortCutsBelowTheValueInTurn)
{
    const struct {
        std::string answer;
        std::vector<size_t> kept;
    } cases[] = {
        {kInk, {1, 2, 2, 1}},
        {kMaterial, {1, 2, kMaterial.size() - 1, 1}},
        {std::string("\x81\x00", 2), {1, 1, 1, 1}},
        {std::string("\x81", 1), {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        FaultShaper shaper(Fault::Short, 0, 1);
        for (size_t i = 0; i < c.kept.size(); ++i) {
            const Plan p = shaper.Shape(c.answer);
            const std::string sent = Joined(p);
            EXPECT_EQ(sent.size(), c.kept[i]) << c.answer.size() << " #" << i;
            EXPECT_EQ(sent, c.answer.substr(0, sent.size()));
            EXPECT_LE(p.bursts.size(), 1u);
            EXPECT_FALSE(p.close);
        }
    }
}

TEST(LmsimFaults, FloodPadsToOneHundredKilobytes)
{
    FaultShaper shaper(Fault::Flood, 0, 1);
    const Plan p = shaper.Shape(kMaterial);
    ASSERT_EQ(p.bursts.size(), 1u);
    const std::string& bytes = p.bursts[0].bytes;
    EXPECT_EQ(bytes.size(), 102400u);
    EXPECT_EQ(bytes.substr(0, kMaterial.size()), kMaterial);
    EXPECT_EQ(bytes.find_first_not_of("0123456789ABCDEF", kMaterial.size()), std::string::npos);
    // Longer answers are not cut.
    EXPECT_EQ(Joined(shaper.Shape(LogAnswer())), LogAnswer());
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
