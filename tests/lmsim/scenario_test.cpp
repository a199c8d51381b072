#include "lmsim/scenario.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

using namespace lmsim;

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

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

TEST(LmsimAnswers, EveryCommandDuringTheInkError)
{
    Scenario scenario(ScenarioKind::Demo, kDefaultLogSize, 2);
    Session session(scenario);
    const uint64_t t = 5000;
    const struct {
        uint8_t command;
        std::string bytes;
    } cases[] = {
        {CmdInk, Bytes({0x81, 0, 0})},
        {CmdUvLamp, Bytes({0x82, 0, 90})},
        {CmdGate, Bytes({0x85, 0, 1, 0, 0, 0})},
        {CmdMaterial, Bytes({0x86, 0}) + "UV-INK CMYK 1L / LOT 24-117"},
        {CmdJobName, Bytes({0x87, 0}) + "poster_A2.pdf"},
        {CmdNumber, Bytes({0x89, 0, 0x2C, 0x01})},
        {CmdError, Bytes({0x8A, 0}) + "0000012A" + "0049006E006B002000740061006E006B00200065006D007000740079"},
        {CmdPrinterJob, Bytes({0x8B, 0}) + "1001"},
        {CmdDriverJob, Bytes({0x8C, 0}) + "1001"},
        // Codes nobody sends, and 8 whose answer code would read as status 25.
        {0, Bytes({0xFF, 0})},
        {8, Bytes({0xFF, 0})},
        {13, Bytes({0xFF, 0})},
        {0x81, Bytes({0xFF, 0})},
        {255, Bytes({0xFF, 0})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(session.Answer(c.command, 0, t).bytes, c.bytes) << "command " << int(c.command);
}

TEST(LmsimAnswers, PrintersDifferAndUnknownIndexGetsBareAnswer)
{
    Scenario scenario(ScenarioKind::Static, 100, 2);
    Session session(scenario);
    EXPECT_EQ(session.Answer(CmdNumber, 1, 0).bytes, Bytes({0x89, 0, 0x2D, 0x01}));
    EXPECT_EQ(session.Answer(CmdMaterial, 1, 0).bytes, Bytes({0x86, 0}) + "UV-INK WHITE 1L / LOT 24-090");
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
        {0, 0, Bytes({0x88, 0})},         // first contact: the monitor shows status 25
        {0, 10, Bytes({0x83, 0, 42})},    // Warming up
        {0, 900, Bytes({0x83, 0, 0})},    // nothing new
        {1, 900, Bytes({0x88, 0})},       // the other printer has its own memory
        {1, 950, Bytes({0x83, 0, 42})},
        {0, 1500, Bytes({0x83, 0, 40})},  // Ready
        {0, 2999, Bytes({0x83, 0, 0})},
        {0, 3000, Bytes({0x83, 0, 41})},  // Printing
        {0, 4000, Bytes({0x83, 0, 45})},  // Ink level low
        {0, 5000, Bytes({0x83, 0, 44})},  // Paused by the error
        {0, 15000, Bytes({0x83, 0, 41})},
        {0, 21000, Bytes({0x83, 0, 40})},
        {0, 29000, Bytes({0x83, 0, 43})}, // Cleaning print heads
        {0, 49000, Bytes({0x83, 0, 46})}, // Cover open
        {0, 57000, Bytes({0x83, 0, 47})}, // Cooling down UV lamp
        {0, 60000, Bytes({0x83, 0, 40})},
        {0, 60001, Bytes({0x83, 0, 0})},
    };
    for (const auto& s : steps)
        EXPECT_EQ(session.Answer(CmdStatus, s.index, s.ms).bytes, s.bytes) << "idx " << int(s.index) << " at " << s.ms;

    // A new connection starts over.
    Session again(scenario);
    EXPECT_EQ(again.Answer(CmdStatus, 0, 60002).bytes, Bytes({0x88, 0}));
    EXPECT_EQ(again.Answer(CmdStatus, 0, 60003).bytes, Bytes({0x83, 0, 40}));

    // Static and errors never send the reset answer.
    Scenario still(ScenarioKind::Static, 0, 1);
    Session quiet(still);
    EXPECT_EQ(quiet.Answer(CmdStatus, 0, 0).bytes, Bytes({0x83, 0, 40}));
    EXPECT_EQ(quiet.Answer(CmdStatus, 0, 100000).bytes, Bytes({0x83, 0, 0}));
}

TEST(LmsimTimeline, DemoStatesAtGivenTimes)
{
    Scenario scenario(ScenarioKind::Demo, 0, 4);
    const struct {
        unsigned index;
        uint64_t ms;
        int status, ink, uv;
        const char* job;
        const char* driver;
        const char* printer;
        const char* error;
    } cases[] = {
        {0, 0, 42, 30, 0, "", "", "", "00000000"},
        {0, 750, 42, 30, 45, "", "", "", "00000000"},
        {0, 1500, 40, 30, 90, "", "", "", "00000000"},
        // The first job: the printer takes it over half a second after the driver.
        {0, 3000, 41, 30, 88, "poster_A2.pdf", "1001", "", "00000000"},
        {0, 3500, 41, 23, 88, "poster_A2.pdf", "1001", "1001", "00000000"},
        {0, 4000, 45, 15, 89, "poster_A2.pdf", "1001", "1001", "00000000"},
        {0, 4999, 45, 1, 89, "poster_A2.pdf", "1001", "1001", "00000000"},
        {0, 5000, 44, 0, 90, "poster_A2.pdf", "1001", "1001", "0000012A"},
        {0, 14999, 44, 0, 89, "poster_A2.pdf", "1001", "1001", "0000012A"},
        {0, 15000, 41, 100, 90, "poster_A2.pdf", "1001", "1001", "00000000"},
        {0, 23000, 41, 89, 88, "label_sheet_12.pdf", "1002", "1001", "00000000"},
        {0, 35000, 44, 71, 90, "label_sheet_12.pdf", "1002", "1002", "00000201"},
        {0, 41000, 41, 63, 91, "label_sheet_12.pdf", "1002", "1002", "00000000"},
        {0, 49000, 46, 51, 89, "banner_3m.tif", "1003", "1003", "00000305"},
        {0, 58500, 47, 37, 60, "banner_3m.tif", "1003", "1003", "00000000"},
        {0, 62999, 40, 31, 30, "banner_3m.tif", "1003", "1003", "00000000"},
        // The second loop goes on with new jobs, the lamp lighting up again.
        {0, 63000, 41, 30, 30, "photo_canvas_60x40.jpg", "1004", "1003", "00000000"},
        {0, 63750, 41, 19, 60, "photo_canvas_60x40.jpg", "1004", "1004", "00000000"},
        {0, 65000, 44, 0, 90, "photo_canvas_60x40.jpg", "1004", "1004", "0000012A"},
        // The second printer runs the same story eight seconds later.
        {1, 5000, 42, 30, 0, "", "", "", "00000000"},
        {1, 13000, 44, 0, 90, "poster_A2.pdf", "1001", "1001", "0000012A"},
    };
    for (const auto& c : cases) {
        const PrinterState s = scenario.StateAt(c.index, c.ms);
        SCOPED_TRACE("idx " + std::to_string(c.index) + " at " + std::to_string(c.ms));
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.ink, c.ink);
        EXPECT_EQ(s.uvLamp, c.uv);
        EXPECT_EQ(s.jobName, c.job);
        EXPECT_EQ(s.driverJob, c.driver);
        EXPECT_EQ(s.printerJob, c.printer);
        EXPECT_EQ(s.errorId, c.error);
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
    struct Change {
        uint64_t ms;
        std::string error;
    };
    std::vector<Change> changes;
    std::string last = kErrorNone;
    for (uint64_t ms = 0; ms < 63000; ms += 250) {
        std::string seen = ErrorSeenByMonitor(session, 0, ms);
        if (seen.empty())
            continue; // the check stopped: nothing changes on the monitor's side
        if (seen != last)
            changes.push_back({ms, seen});
        last = seen;
    }
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {5000, "0000012A"},  {15000, "00000000"}, {35000, "00000201"},
        {41000, "00000000"}, {49000, "00000305"}, {53000, "00000000"},
    };
    ASSERT_EQ(changes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(changes[i].ms, expected[i].first) << i;
        EXPECT_EQ(changes[i].error, expected[i].second) << i;
    }

    // The media jam carries the printer's own text, with a non-ASCII dash.
    const std::string jam = session.Answer(CmdError, 0, 35000).bytes;
    EXPECT_EQ(jam.substr(2, 8), "00000201");
    EXPECT_EQ(jam.substr(10), EncodeErrorText("Media jam at feed roller 2 \xE2\x80\x93 open cover B"));
    EXPECT_NE(jam.find("2013"), std::string::npos);
}

TEST(LmsimTimeline, ErrorsScenarioStartsWithAnErrorAndWalksTheTable)
{
    Scenario scenario(ScenarioKind::Errors, 0, 1);
    Session session(scenario);
    const struct {
        uint64_t ms;
        const char* error;
    } cases[] = {
        {0, "0000012A"}, {7999, "0000012A"}, {8000, "00000130"}, {16000, "00000201"},
        {24000, "00000305"}, {32000, "0000ABCD"}, {40000, "0000012A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorSeenByMonitor(session, 0, c.ms), c.error) << c.ms;
}

TEST(LmsimTimeline, StaticNeverChanges)
{
    Scenario scenario(ScenarioKind::Static, 0, 1);
    Session session(scenario);
    for (uint64_t ms : {0ull, 5000ull, 35000ull, 3600000ull}) {
        EXPECT_EQ(session.Answer(CmdInk, 0, ms).bytes, Bytes({0x81, 0, 72}));
        EXPECT_EQ(session.Answer(CmdUvLamp, 0, ms).bytes, Bytes({0x82, 0, 90}));
        EXPECT_EQ(ErrorSeenByMonitor(session, 0, ms), "00000000");
        EXPECT_EQ(session.Answer(CmdError, 0, ms).bytes, Bytes({0x8A, 0}) + "00000000");
        EXPECT_EQ(session.Answer(CmdJobName, 0, ms).bytes, Bytes({0x87, 0}) + "poster_A2.pdf");
    }
}

TEST(LmsimErrorText, HexOfUtf16CodeUnits)
{
    const struct {
        const char* utf8;
        const char* hex;
    } cases[] = {
        {"", ""},
        {"A", "0041"},
        {"Ink tank empty", "0049006E006B002000740061006E006B00200065006D007000740079"},
        {"\xC3\xA9", "00E9"},                  // é, two bytes
        {"\xE2\x82\xAC", "20AC"},              // €, three bytes
        {"\xF0\x9F\x98\x80", "D83DDE00"},      // outside the BMP: a surrogate pair
        {"\xF4\x8F\xBF\xBF", "DBFFDFFF"},      // the last code point
        {"A\xFF" "B", "0041FFFD0042"},          // a byte that starts nothing
        {"\xC3", "FFFD"},                      // cut off
        {"\xC3" "A", "FFFD0041"},              // continuation missing: the next byte survives
        {"\xC0\x80", "FFFDFFFD"},              // overlong zero
        {"\xED\xA0\x80", "FFFDFFFDFFFD"},      // an encoded surrogate
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
    const std::string firstLine = "000001 2024-05-14 08:00:07 PRN0 INFO  job 1001 started\r\n";
    EXPECT_EQ(log.substr(8, firstLine.size()), firstLine);
    EXPECT_GT(std::count(log.begin(), log.end(), '\0'), 1000);
    EXPECT_NE(log.find("\x1A"), std::string::npos);
    EXPECT_NE(log.find("ERROR 0000012A ink tank empty"), std::string::npos);
    EXPECT_NE(log.find("INFO  printer ready\n"), std::string::npos); // a bare LF line
    // Same printer, same log; the other printer's differs.
    EXPECT_EQ(scenario.Log(0), log);
    EXPECT_NE(scenario.Log(1), log);
    EXPECT_NE(scenario.Log(1).find("PRN1"), std::string::npos);
}

TEST(LmsimLog, ChosenSizesIncludingTheEdges)
{
    for (uint32_t size : {0u, 1u, 5u, 8u, 9u, 1000u, 65536u, 65537u}) {
        Scenario scenario(ScenarioKind::Static, size, 1);
        Session session(scenario);
        const std::string answer = session.Answer(CmdLog, 0, 0).bytes;
        EXPECT_EQ(answer.size(), 2u + size) << size;
        EXPECT_EQ(static_cast<unsigned char>(answer[0]), 0x84u);
        if (size >= 5) {
            EXPECT_EQ(answer[6], '\0') << size;
        }
    }
}
