#include "bytes.h"
#include "lmsim/scenario.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

using namespace lmsim;
using qsmtest::Bytes;

namespace {

// What the status monitor's job and error check would take from the answers at
// time ms: the error ID when gate and job IDs let it ask, "" when the check stops.
std::string ErrorSeenByMonitor(Session& session, uint8_t index, uint64_t ms)
{
    if (session.Answer(CmdGate, index, ms).bytes.size() <= 4)
        return "";
    const std::string driver = session.Answer(CmdDriverJob, index, ms).bytes.substr(2);
    const std::string printer = session.Answer(CmdPrinterJob, index, ms).bytes.substr(2);
    if (driver != printer)
        return "";
    return session.Answer(CmdError, index, ms).bytes.substr(2, 8);
}

} // namespace

// The timeline tests read the values; here the wire form of the answers that carry them.
TEST(LmsimAnswers, WireFormDuringTheInkError)
{
    Scenario scenario(ScenarioKind::Demo, kDefaultLogSize, 2);
    Session session(scenario);
    const uint64_t t = 5000;
    EXPECT_EQ(session.Answer(CmdInk, 0, t).bytes, Bytes({0x81, 0, 0}));
    EXPECT_EQ(session.Answer(CmdGate, 0, t).bytes, Bytes({0x85, 0, 1, 0, 0, 0}));
    EXPECT_EQ(session.Answer(CmdNumber, 0, t).bytes, Bytes({0x89, 0, 0x2C, 0x01}));
    EXPECT_EQ(session.Answer(CmdJobName, 0, t).bytes, Bytes({0x87, 0}) + "poster_A2.pdf");
    EXPECT_EQ(session.Answer(CmdError, 0, t).bytes, Bytes({0x8A, 0}) + "0000012A" + EncodeErrorText("Ink tank empty"));
    // Codes nobody sends, and 8 whose answer code would read as status 25.
    for (uint8_t command : {0, 8, 13, 0x81, 255})
        EXPECT_EQ(session.Answer(command, 0, t).bytes, Bytes({0xFF, 0})) << "command " << int(command);
}

TEST(LmsimAnswers, PrintersDifferAndUnknownIndexGetsBareAnswer)
{
    Scenario scenario(ScenarioKind::Static, 100, 2);
    Session session(scenario);
    EXPECT_EQ(session.Answer(CmdNumber, 1, 0).bytes, Bytes({0x89, 0, 0x2D, 0x01}));
    // Index 2 is past --printers 2: code and byte 1 only, for every known command.
    for (uint8_t command : {CmdInk, CmdStatus, CmdLog, CmdGate, CmdError, CmdDriverJob}) {
        const Reply r = session.Answer(command, 2, 0);
        EXPECT_EQ(r.bytes, Bytes({0x80 | command, 0})) << int(command);
        EXPECT_EQ(r.note, "unknown printer");
    }
    EXPECT_FALSE(Scenario(ScenarioKind::Static, 0, 300).Knows(256)); // the index is one byte
    EXPECT_TRUE(Scenario(ScenarioKind::Static, 0, 300).Knows(255));
}

TEST(LmsimAnswers, StatusIsToldOncePerChangeAndResetFirst)
{
    Scenario scenario(ScenarioKind::Demo, 0, 2);
    Session session(scenario);
    const struct {
        uint8_t index;
        uint64_t ms;
        std::string bytes;
    } steps[] = {
        {0, 0, Bytes({0x88, 0})},        // first contact: the monitor shows status 25
        {0, 10, Bytes({0x83, 0, 42})},   // Warming up
        {0, 900, Bytes({0x83, 0, 0})},   // nothing new
        {1, 900, Bytes({0x88, 0})},      // the other printer has its own memory
        {0, 1500, Bytes({0x83, 0, 40})}, // Ready
        {0, 1501, Bytes({0x83, 0, 0})},
    };
    for (const auto& s : steps)
        EXPECT_EQ(session.Answer(CmdStatus, s.index, s.ms).bytes, s.bytes) << "idx " << int(s.index) << " at " << s.ms;

    // A new connection starts over.
    Session again(scenario);
    EXPECT_EQ(again.Answer(CmdStatus, 0, 60002).bytes, Bytes({0x88, 0}));
    EXPECT_EQ(again.Answer(CmdStatus, 0, 60003).bytes, Bytes({0x83, 0, 40}));

    // Static never sends the reset answer.
    Scenario still(ScenarioKind::Static, 0, 1);
    Session quiet(still);
    EXPECT_EQ(quiet.Answer(CmdStatus, 0, 0).bytes, Bytes({0x83, 0, 40}));
    EXPECT_EQ(quiet.Answer(CmdStatus, 0, 100000).bytes, Bytes({0x83, 0, 0}));
}

TEST(LmsimTimeline, JobsReachThePrinterLateAndTheSecondPrinterRunsLater)
{
    Scenario scenario(ScenarioKind::Demo, 0, 2);
    const struct {
        unsigned index;
        uint64_t ms;
        const char* driver;
        const char* printer;
        const char* error;
    } cases[] = {
        // The printer takes a job over half a second after the driver.
        {0, 3000, "1001", "", "00000000"},
        {0, 3500, "1001", "1001", "00000000"},
        {0, 5000, "1001", "1001", "0000012A"},
        // The second loop goes on with new job IDs.
        {0, 63000, "1004", "1003", "00000000"},
        {0, 65000, "1004", "1004", "0000012A"},
        // The second printer runs the same story eight seconds later.
        {1, 5000, "", "", "00000000"},
        {1, 13000, "1001", "1001", "0000012A"},
    };
    for (const auto& c : cases) {
        const PrinterState s = scenario.StateAt(c.index, c.ms);
        EXPECT_EQ(s.driverJob, c.driver) << c.index << " at " << c.ms;
        EXPECT_EQ(s.printerJob, c.printer) << c.index << " at " << c.ms;
        EXPECT_EQ(s.errorId, c.error) << c.index << " at " << c.ms;
    }
}

TEST(LmsimTimeline, ValuesStayInTheWindowsRange)
{
    Scenario scenario(ScenarioKind::Demo, 0, 3);
    for (unsigned index = 0; index < 3; ++index) {
        for (uint64_t ms = 0; ms < 200000; ms += 97) {
            const PrinterState s = scenario.StateAt(index, ms);
            ASSERT_LE(s.ink, 100) << ms;
            ASSERT_LE(s.uvLamp, 100) << ms;
            ASSERT_GE(s.status, StatusReady) << ms;
            ASSERT_LE(s.status, StatusCoolingDown) << ms;
            ASSERT_EQ(s.errorId.size(), 8u) << ms;
            ASSERT_EQ(s.errorId == kErrorNone, s.errorText.empty()) << ms;
        }
    }
}

TEST(LmsimTimeline, ErrorsAppearAndClearAsTheMonitorSeesThem)
{
    Scenario scenario(ScenarioKind::Demo, 0, 1);
    Session session(scenario);
    std::vector<std::pair<uint64_t, std::string>> changes;
    std::string last = kErrorNone;
    for (uint64_t ms = 0; ms < 63000; ms += 250) {
        const std::string seen = ErrorSeenByMonitor(session, 0, ms);
        if (seen.empty())
            continue; // the check stopped: nothing changes on the monitor's side
        if (seen != last)
            changes.emplace_back(ms, seen);
        last = seen;
    }
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {5000, "0000012A"},  {15000, "00000000"}, {35000, "00000201"},
        {41000, "00000000"}, {49000, "00000305"}, {53000, "00000000"},
    };
    EXPECT_EQ(changes, expected);

    // The media jam carries the printer's own text, with a non-ASCII dash.
    const std::string jam = session.Answer(CmdError, 0, 35000).bytes;
    EXPECT_EQ(jam.substr(10), EncodeErrorText("Media jam at feed roller 2 \xE2\x80\x93 open cover B"));
    EXPECT_NE(jam.find("2013"), std::string::npos);
}

TEST(LmsimTimeline, ErrorsScenarioWalksTheTableAndStaticNeverChanges)
{
    Scenario errors(ScenarioKind::Errors, 0, 1);
    Session session(errors);
    const std::pair<uint64_t, const char*> table[] = {
        {0, "0000012A"},     {7999, "0000012A"},  {8000, "00000130"}, {16000, "00000201"},
        {24000, "00000305"}, {32000, "0000ABCD"}, {40000, "0000012A"},
    };
    for (const auto& t : table)
        EXPECT_EQ(ErrorSeenByMonitor(session, 0, t.first), t.second) << t.first;

    Scenario still(ScenarioKind::Static, 0, 1);
    Session quiet(still);
    for (uint64_t ms : {0ull, 35000ull, 3600000ull}) {
        EXPECT_EQ(quiet.Answer(CmdInk, 0, ms).bytes, Bytes({0x81, 0, 72}));
        EXPECT_EQ(ErrorSeenByMonitor(quiet, 0, ms), "00000000");
        EXPECT_EQ(quiet.Answer(CmdJobName, 0, ms).bytes, Bytes({0x87, 0}) + "poster_A2.pdf");
    }
}

TEST(LmsimErrorText, HexOfUtf16CodeUnits)
{
    const struct {
        const char* utf8;
        const char* hex;
    } cases[] = {
        {"", ""},
        {"Ink", "0049006E006B"},
        {"\xC3\xA9", "00E9"},                     // é, two bytes
        {"\xE2\x82\xAC", "20AC"},                 // €, three bytes
        {"\xF0\x9F\x98\x80", "D83DDE00"},         // outside the BMP: a surrogate pair
        {"\xF4\x8F\xBF\xBF", "DBFFDFFF"},         // the last code point
        {"A\xFF" "B", "0041FFFD0042"},            // a byte that starts nothing
        {"\xC3", "FFFD"},                         // cut off
        {"\xC3" "A", "FFFD0041"},                 // continuation missing: the next byte survives
        {"\xC0\x80", "FFFDFFFD"},                 // overlong zero
        {"\xED\xA0\x80", "FFFDFFFDFFFD"},         // an encoded surrogate
        {"\xF4\x90\x80\x80", "FFFDFFFDFFFDFFFD"}, // past U+10FFFF
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeErrorText(c.utf8), c.hex) << c.hex;
}

TEST(LmsimLog, DefaultSizeFillsTheMonitorsExpectedAnswer)
{
    Scenario scenario(ScenarioKind::Demo, kDefaultLogSize, 2);
    Session session(scenario);
    const std::string answer = session.Answer(CmdLog, 0, 0).bytes;
    ASSERT_EQ(answer.size(), 326656u);
    EXPECT_EQ(answer.substr(0, 2), Bytes({0x84, 0}));
    const std::string log = answer.substr(2);
    EXPECT_EQ(log.substr(0, 8), Bytes({'Q', 'L', 'O', 'G', 0, 1, 0, 0}));
    // Zero bytes, a control character and bare LF lines among CR LF lines.
    EXPECT_GT(std::count(log.begin(), log.end(), '\0'), 1000);
    EXPECT_NE(log.find("\x1A"), std::string::npos);
    EXPECT_NE(log.find("INFO  printer ready\n"), std::string::npos);
    EXPECT_NE(log.find(" started\r\n"), std::string::npos);
    EXPECT_EQ(scenario.Log(0), log);
    EXPECT_NE(scenario.Log(1), log);

    for (uint32_t size : {0u, 1u, 5u, 65537u}) {
        Scenario sized(ScenarioKind::Static, size, 1);
        Session s(sized);
        EXPECT_EQ(s.Answer(CmdLog, 0, 0).bytes.size(), 2u + size) << size;
    }
}
