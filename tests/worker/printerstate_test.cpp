#include "printerstate.h"
#include <gtest/gtest.h>
#include <map>

namespace {

constexpr uint32_t kThread = 4242;

std::string Answer(int code, const std::string& payload)
{
    return std::string(1, static_cast<char>(code)) + '\0' + payload;
}

const std::string kGateOk = Answer(0x85, "ok!");  // 5 bytes: the check goes on
const std::string kGateShort = Answer(0x85, "ok"); // 4 bytes: it stops

std::string Driver(const std::string& job)
{
    return Answer(0x8C, job);
}
std::string Printer(const std::string& job)
{
    return Answer(0x8B, job);
}
std::string Error(const std::string& record)
{
    return Answer(0x8A, record);
}

std::string JobLine(const std::string& printerAnswer, const std::string& printer, const std::string& driver)
{
    return "CheckPrinterState <4242> JobID Length = " + std::to_string(printerAnswer.size()) +
           " JobID Printer = " + printer + " JobID Driver = " + driver + "\n";
}
std::string ErrorLine(const std::string& errorAnswer, const std::string& id)
{
    return "CheckPrinterState <4242> ERROR Length = " + std::to_string(errorAnswer.size()) + " ERROR ID = " + id + "\n";
}
std::vector<std::string> Detect(const std::string& last, const std::string& actual)
{
    return {"CheckPrinterState error detect ",
            "CheckPrinterState lastError = " + last + " actaulError = " + actual + "\n"};
}

const std::string kClear0 = "CheckPrinterState Clear lastError 0";

// The job line and the error line of a check whose jobs agree.
std::vector<std::string> Matched(const std::string& job, const std::string& errorAnswer, const std::string& id)
{
    return {JobLine(Printer(job), job, job), ErrorLine(errorAnswer, id)};
}

std::vector<std::string> NewError(const std::string& last, const std::string& actual)
{
    std::vector<std::string> lines = Detect(last, actual);
    lines.push_back("CheckPrinterState Error detected!");
    return lines;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Check {
    std::map<uint8_t, std::string> answers; // missing: empty answer
    std::string commands;                   // requested, in order
    bool reported;
    std::string record;
    std::string lastError; // after the check
    std::vector<std::string> lines;
};

struct Scenario {
    const char* name;
    std::vector<Check> checks;
};

// Runs the checks of one scenario on one worker state, from the state "clear".
void RunScenario(const Scenario& s)
{
    std::string lastError, lastJob;
    for (size_t i = 0; i < s.checks.size(); ++i) {
        const Check& c = s.checks[i];
        SCOPED_TRACE(std::string(s.name) + ", check " + std::to_string(i + 1));
        std::string commands;
        std::vector<std::string> lines;
        std::string record = "untouched";
        const bool reported = RunPrinterStateCheck(
            lastError, lastJob, kThread,
            [&](uint8_t command) {
                commands += static_cast<char>(command);
                auto it = c.answers.find(command);
                return it == c.answers.end() ? std::string() : it->second;
            },
            [&](const std::string& line) { lines.push_back(line); }, record);
        EXPECT_EQ(commands, c.commands);
        EXPECT_EQ(reported, c.reported);
        EXPECT_EQ(record, c.reported ? c.record : std::string("untouched"));
        EXPECT_EQ(lastError, c.lastError);
        EXPECT_EQ(lines, c.lines);
    }
}

const std::string kAll("\x05\x0C\x0B\x0A", 4);
const std::string kUpTo11("\x05\x0C\x0B", 3);
const std::string kNoError = Error("00000000");
const std::string kErr12A = Error("0000012A00480069");
const std::string kErr130 = Error("0000013000480069");

std::map<uint8_t, std::string> Answers(const std::string& driver, const std::string& printer, const std::string& error)
{
    return {{5, kGateOk}, {12, Driver(driver)}, {11, Printer(printer)}, {10, error}};
}

// The first check of job 17 (lastJob 17 from then on) whose printer reports this record.
Check FirstError(const std::string& payload, const std::string& record, const std::string& id)
{
    const std::string answer = Error(payload);
    return {Answers("17", "17", answer), kAll, true, record, id,
            Join({{kClear0}, Matched("17", answer, id), NewError("", id)})};
}

} // namespace

TEST(PrinterStateCheck, StateTable)
{
    const Check kFirst12A = FirstError("0000012A00480069", "0000012A00480069", "0000012A");
    const Scenario scenarios[] = {
        {"gate of exactly 4 bytes",
         {{{{5, kGateShort}, {12, Driver("17")}}, "\x05", false, "", "", {}},
          {{}, "\x05", false, "", "", {}}}},
        {"same job, no error",
         {{Answers("17", "17", kNoError), kAll, false, "", "",
           Join({{kClear0}, Matched("17", kNoError, "00000000")})},
          {Answers("17", "17", kNoError), kAll, false, "", "",
           Matched("17", kNoError, "00000000")}}},
        {"an error is reported once per job",
         {kFirst12A,
          {Answers("17", "17", kErr12A), kAll, false, "", "0000012A",
           Join({Matched("17", kErr12A, "0000012A"), Detect("0000012A", "0000012A")})},
          {Answers("17", "17", kErr12A), kAll, false, "", "0000012A",
           Join({Matched("17", kErr12A, "0000012A"), Detect("0000012A", "0000012A")})},
          // The driver starts job 18 and the printer still reports the error: again, in the same check.
          {Answers("18", "18", kErr12A), kAll, true, "0000012A00480069", "0000012A",
           Join({{kClear0}, Matched("18", kErr12A, "0000012A"), NewError("", "0000012A")})}}},
        {"a changed error is reported at once",
         {kFirst12A,
          {Answers("17", "17", kErr130), kAll, true, "0000013000480069", "00000130",
           Join({Matched("17", kErr130, "00000130"), NewError("0000012A", "00000130")})}}},
        {"jobs differ: no error request, a reported error is cleared",
         {kFirst12A,
          {Answers("17", "16", kErr12A), kUpTo11, false, "", "",
           {JobLine(Printer("16"), "16", "17"), "CheckPrinterState Clear lastError 2"}},
          {Answers("17", "16", kErr12A), kUpTo11, false, "", "", {JobLine(Printer("16"), "16", "17")}},
          {Answers("17", "17", kErr12A), kAll, true, "0000012A00480069", "0000012A",
           Join({Matched("17", kErr12A, "0000012A"), NewError("", "0000012A")})}}},
        {"no error clears a reported one",
         {kFirst12A,
          {Answers("17", "17", kNoError), kAll, false, "", "",
           Join({Matched("17", kNoError, "00000000"), {"CheckPrinterState Clear lastError 1"}})},
          {Answers("17", "17", kErr12A), kAll, true, "0000012A00480069", "0000012A",
           Join({Matched("17", kErr12A, "0000012A"), NewError("", "0000012A")})}}},
        {"short answers end the check and keep the state",
         {kFirst12A,
          {{{5, kGateOk}, {12, "\x8C"}}, "\x05\x0C", false, "", "0000012A", {"CheckPrinterState start error 1!"}},
          {{{5, kGateOk}, {12, Driver("17")}}, kUpTo11, false, "", "0000012A", {"CheckPrinterState start error 2!"}},
          {{{5, kGateOk}, {12, Driver("17")}, {11, Printer("17")}, {10, "\x8A"}}, kAll, false, "", "0000012A",
           {JobLine(Printer("17"), "17", "17"), "CheckPrinterState start error 3!"}},
          // A new driver job is taken before a later short answer ends the check.
          {{{5, kGateOk}, {12, Driver("19")}}, kUpTo11, false, "", "",
           {kClear0, "CheckPrinterState start error 2!"}}}},
        {"error answer of exactly 2 bytes in the clear state",
         {{Answers("", "", Error("")), kAll, false, "", "",
           Join({Matched("", Error(""), ""), Detect("", "")})}}},
        {"error record: ID of 8 bytes, text up to the first zero byte",
         {FirstError("0000012A00" + std::string("\0ZZ", 3), "0000012A00", "0000012A")}},
        {"error answer of 12 bytes", {FirstError("0000012A0A", "0000012A0A", "0000012A")}},
        {"short error ID", {FirstError("12A", "12A", "12A")}},
    };
    for (const Scenario& s : scenarios)
        RunScenario(s);
}

TEST(PrinterStateCheck, ErrorRecordIsCutToTheBuffer)
{
    std::string lastError, lastJob = "17";
    std::string record;
    const std::string text(3000, 'F');
    const std::map<uint8_t, std::string> answers = Answers("17", "17", Error("0000012A" + text));
    ASSERT_TRUE(RunPrinterStateCheck(
        lastError, lastJob, kThread, [&](uint8_t command) { return answers.at(command); },
        [](const std::string&) {}, record));
    EXPECT_EQ(record, ("0000012A" + text).substr(0, 1023));
}
