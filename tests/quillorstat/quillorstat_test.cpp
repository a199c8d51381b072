#include "bytes.h"
#include "fake_lm.h"
#include "language.h"
#include "process.h"
#include "maindlg.h"
#include "printer.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "utils.h"
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using mrvAPI::mrvLanguages;
using mrvAPI::mrvUtils;
using nlohmann::json;
using qsmtest::Bytes;
using qsmtest::LmReply;
using qsmtest::SpoolerFixture;

namespace {

const auto Text = &mrvLanguages::GetText;

// The error answer: code, then the text as UTF-16 units in four hex digits each.
std::string ErrorAnswer(const std::string& code, const std::wstring& text)
{
    std::string answer = Bytes({0x8A, 0x00}) + code;
    for (wchar_t c : text) {
        char group[5];
        std::snprintf(group, sizeof group, "%04X", static_cast<unsigned>(c));
        answer += group;
    }
    return answer;
}

size_t FilesIn(const std::wstring& folder)
{
    const std::filesystem::directory_iterator files(folder);
    return static_cast<size_t>(std::count_if(begin(files), end(files), [](const auto& f) { return f.is_regular_file(); }));
}

struct Outcome {
    DWORD code = STILL_ACTIVE;
    std::string json; // standard output and error, redirected: UTF-8
    std::wstring out; // the same, read as UTF-8
    ULONGLONG ms = 0;
};

class Quillorstat : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Registry.SetPath(qsmtest::ExeDir() + L"qstat_language");
        m_Registry.SetPrinterFilter(SpoolerFixture::Tag() + L" qstat");
        m_Registry.SetUpdateTime(L"50");
        m_Registry.SetTcpPort(1); // nothing listens there
        mrvLanguages::Load(); // the program's catalogue, for the texts to expect
    }
    void TearDown() override { mrvLanguages::Clear(); }

    std::wstring Install(const std::wstring& base, const std::wstring& port = L"FILE:")
    {
        const std::wstring name = SpoolerFixture::Unique(base);
        EXPECT_TRUE(m_Spooler.InstallPrinter(name, port, SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" qstat"));
        return name;
    }

    Outcome Start(const std::wstring& arguments)
    {
        Outcome run;
        qsmtest::ChildProcess program;
        const ULONGLONG start = GetTickCount64();
        EXPECT_TRUE(program.Start(L"\"" + qsmtest::ExeDir() + L"..\\quillorstat.exe\" " + arguments, true));
        run.code = program.Wait(60000);
        EXPECT_NE(run.code, STILL_ACTIVE) << "quillorstat.exe still runs after 60 s";
        run.ms = GetTickCount64() - start;
        program.Kill(); // and the last of its output read
        for (const std::string& line : program.Lines())
            run.json += line + "\n";
        run.out = mrvUtils::M2W(run.json);
        return run;
    }

    // Answers to everything a polling cycle asks, with an error answer for the state check.
    void AnswerPolling(qsmtest::FakeLanguageMonitor& lm, const std::string& errorAnswer)
    {
        const std::pair<uint8_t, std::string> answers[] = {
            {5, Bytes({0x85, 0x00}) + "ready"}, {12, Bytes({0x8C, 0x00}) + "17"}, {11, Bytes({0x8B, 0x00}) + "17"},
            {10, errorAnswer}, {9, Bytes({0x89, 0x00, 0x2C, 0x01})}, {1, Bytes({0x81, 0x00, 0x50})},
            {2, Bytes({0x82, 0x00, 0xC8})}, {3, Bytes({0x83, 0x00, 0x29})}, {6, Bytes({0x86, 0x00}) + "PLA-7"},
            {7, Bytes({0x87, 0x00}) + "poster.pdf"}};
        for (const auto& [command, answer] : answers)
            lm.OnCommand(command, LmReply::Answer(answer));
        lm.Queue(3, LmReply::Answer(Bytes({0x88, 0x00}))); // a new connection's reset comes first
    }

    qsmtest::RegistryFixture m_Registry;
    SpoolerFixture m_Spooler;
    qsmtest::TempFolder m_Output;
};

} // namespace

TEST_F(Quillorstat, EveryFormatShowsTheMonitoredPrintersInUtf8)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet"));
    m_Registry.SetTcpPort(sim.Port());
    const std::wstring name = Install(L"Quillor Z\u00FCrich \u0416");
    const std::wstring com = Install(L"Quillor Serial", SpoolerFixture::ComPort());
    const std::wstring labels = L"printer=\"" + name + L"\",port=\"FILE:\"}";
    const struct {
        const wchar_t* arguments;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"", {mrvMainDialog::MakeTitle(name, L"FILE:"), Text(40), L"72 %", L"90 %", L"none"}},
        {L"--format prometheus",
         {L"# TYPE quillor_ink_level_percent gauge", L"quillor_up{" + labels + L" 1",
          L"quillor_ink_level_percent{" + labels + L" 72", L"quillor_uv_lamp_percent{" + labels + L" 90",
          L"quillor_printer_error{" + labels + L" 0", L"quillor_queue_jobs{" + labels + L" 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(mrvUtils::W2M(c.arguments));
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, 0u) << run.json;
        for (const std::wstring& line : c.lines)
            EXPECT_NE(run.out.find(line), std::wstring::npos) << mrvUtils::W2M(line) << "\nin:\n" << run.json;
        EXPECT_EQ(run.out.find(com), std::wstring::npos) << "a printer on a COM port is shown";
    }

    json doc = json::parse(Start(L"--format json").json);
    ASSERT_EQ(doc["printers"].size(), 1u) << doc;
    const json& p = doc["printers"][0];
    EXPECT_EQ(mrvUtils::M2W(p.at("name").get<std::string>()), name);
    EXPECT_EQ(mrvUtils::M2W(p.at("status_text").get<std::string>()), Text(40));
    const json expected = json::parse(R"({"port": "FILE:", "reachable": true, "status_code": 40, "ink_percent": 72,
                                           "uv_percent": 90, "queue_jobs": 0, "error": null})");
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ(p.at(key), value) << key;
}

TEST_F(Quillorstat, CheckStateFollowsTheThresholdsWorstStateWinsAndOnePrinterCanBePicked)
{
    qsmtest::LmsimProcess sim;
    // Ink 72, UV lamp 90 for printer index 0 only; the other gets answers without values.
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet --printers 1"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"Quillor Worst A");
    Install(L"Quillor Worst B");
    mrvAPI::mrvPrinter::Enumerate((SpoolerFixture::Tag() + L" qstat").c_str());
    ASSERT_EQ(mrvAPI::mrvPrinter::GetCount(), 2u);
    const std::wstring n = std::unique_ptr<mrvAPI::mrvPrinter>(mrvAPI::mrvPrinter::GetPrinter(0))->GetName();
    const std::wstring silent = std::unique_ptr<mrvAPI::mrvPrinter>(mrvAPI::mrvPrinter::GetPrinter(1))->GetName();
    mrvAPI::mrvPrinter::Clear();
    const std::wstring one = L" --printer \"" + n + L"\"";
    const struct {
        std::wstring arguments;
        DWORD code;
        std::wstring start;
    } cases[] = {
        {L"--check" + one, 0, L"QUILLOR OK - " + n + L" ink 72%, " + n + L" UV 90% | '" + n + L" ink'=72%;15:;5:;0;100 '" +
                                  n + L" uv'=90%;15:;5:;0;100 '" + n + L" queue'=0;;;0\n"},
        {L"--check --warn 72" + one, 0, L"QUILLOR OK - "}, // not below
        {L"--check --warn 73" + one, 1, L"QUILLOR WARNING - " + n + L" ink 72% |"},
        {L"--check --warn 91" + one, 1, L"QUILLOR WARNING - " + n + L" ink 72%, " + n + L" UV 90% |"},
        {L"--check --warn 91 --crit 73" + one, 2, L"QUILLOR CRITICAL - " + n + L" ink 72%, " + n + L" UV 90% |"},
        {L"--check --crit 91 --warn 91" + one, 2, L"QUILLOR CRITICAL - "},
        {L"--check --warn 101", 3, L"QUILLOR UNKNOWN - wrong arguments: --warn"},
        {L"--check --crit 20 --warn 10", 3, L"QUILLOR UNKNOWN - wrong arguments: --crit 20 is above --warn 10"},
        {L"--check --format json", 3, L"QUILLOR UNKNOWN - wrong arguments"},
        {L"--check", 3, L""},                         // OK and UNKNOWN
        {L"--check --warn 80", 3, L""},               // WARNING and UNKNOWN
        {L"--check --warn 80 --crit 80", 2, L""},     // CRITICAL and UNKNOWN
        {L"--check --printer \"" + silent + L"\"", 3, L""},
        {L"--check --printer \"No such printer\"", 3, L""},
    };
    for (const auto& c : cases) {
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << mrvUtils::W2M(c.arguments) << ": " << run.json;
        EXPECT_EQ(run.out.compare(0, c.start.size(), c.start), 0) << mrvUtils::W2M(c.arguments) << ": " << run.json;
    }
}

TEST_F(Quillorstat, PrinterErrorsGoThroughTheErrorTable)
{
    qsmtest::FakeLanguageMonitor lm;
    m_Registry.SetTcpPort(lm.Port());
    Install(L"Quillor Errors");
    const struct {
        const char* code;
        std::wstring printerText;
        bool clears; // gone by the second cycle: no error to show
        std::wstring caption;
        std::wstring text;
        const char* icon;
    } cases[] = {
        {"0000012A", L"Tank leer", false, Text(61) + L" 0x0000012A", Text(71), "warning"},
        {"00000201", L"Stau in Fach 2 \u2013 \u00D6ffnen", false, Text(63) + L" 0x00000201", L"Stau in Fach 2 \u2013 \u00D6ffnen", "error"},
        {"0000ABCD", L"Unbekannt", false, Text(60) + L" 0x0000ABCD", Text(70), "error"}, // DEFAULT
        {"0000012A", L"Tank leer", true, L"", L"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.code) + (c.clears ? " cleared" : ""));
        AnswerPolling(lm, c.clears ? ErrorAnswer("00000000", L"") : ErrorAnswer(c.code, c.printerText));
        if (c.clears)
            lm.Queue(10, LmReply::Answer(ErrorAnswer(c.code, c.printerText)));
        json doc = json::parse(Start(L"--format json").json);
        ASSERT_EQ(doc["printers"].size(), 1u);
        EXPECT_EQ(doc["printers"][0]["status_code"], 41); // after the reset
        EXPECT_EQ(doc["printers"][0]["uv_percent"], 100); // 200 fills the bar
        const json& error = doc["printers"][0].at("error");
        if (c.clears) {
            EXPECT_TRUE(error.is_null()) << doc;
            continue;
        }
        EXPECT_EQ(error.at("code"), c.code);
        EXPECT_EQ(error.at("icon"), c.icon);
        const std::pair<const char*, std::wstring> texts[] = {{"caption", c.caption}, {"text", c.text}, {"printer_text", c.printerText}};
        for (const auto& [key, value] : texts)
            EXPECT_EQ(mrvUtils::M2W(error.at(key).get<std::string>()), value) << key;
        const Outcome check = Start(L"--check");
        EXPECT_EQ(check.code, 2u) << check.json;
        EXPECT_NE(check.out.find(L" error " + c.caption), std::wstring::npos) << check.json;
    }
}

TEST_F(Quillorstat, NoPrinterNoMonitorOrASilentOneEndsInTime)
{
    const std::wstring noPrinter = Text(1).substr(0, Text(1).find(L'\n'));
    Install(L"Quillor Serial Only", SpoolerFixture::ComPort());
    const std::wstring printer = SpoolerFixture::Unique(L"Quillor Unreachable");
    qsmtest::FakeLanguageMonitor silentLm; // accepts and never answers
    silentLm.OnCommand(4, LmReply::Answer(Bytes({0x84, 0x00}) + std::string(1000, 'x')));
    const std::wstring log = m_Output.FileName(L"stalled.log");
    const struct {
        const char* name;
        DWORD port; // 0: only the printer on a COM port is there
        std::wstring arguments;
        DWORD code;
        std::wstring out;
        ULONGLONG withinMs;
    } cases[] = {
        {"table", 0, L"", 1, noPrinter, 20000},
        {"json", 0, L"--format json", 1, L"\"printers\": []", 20000},
        {"check", 0, L"--check", 3, L"QUILLOR UNKNOWN - no printer is monitored\n", 20000},
        {"refused", 1, L"--check", 3, L"QUILLOR UNKNOWN - " + printer + L": the language monitor on TCP port 1 cannot be reached", 8000},
        {"refused table", 1, L"", 1, L"the language monitor on TCP port 1 cannot be reached", 8000},
        {"silent", silentLm.Port(), L"--check", 3, L"QUILLOR UNKNOWN - " + printer + L": the language monitor does not answer", 20000},
        // Part of a log and then quiet: saved after 5 s of it, unless the time is up first.
        {"stalled log", silentLm.Port(), L"--save-log \"" + printer + L"\" \"" + log + L"\" --timeout 2", 1, L"", 12000},
    };
    for (const auto& c : cases) {
        if (c.port && m_Spooler.Printers().size() == 1)
            Install(L"Quillor Unreachable");
        m_Registry.SetTcpPort(c.port);
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << c.name << ": " << run.json;
        EXPECT_NE(run.out.find(c.out), std::wstring::npos) << c.name << ": " << run.json;
        EXPECT_LT(run.ms, c.withinMs) << c.name;
    }
    EXPECT_EQ(FilesIn(m_Output.Path()), 0u) << "a log was left";
}

TEST_F(Quillorstat, SaveLogWritesTheWholeLogOrNoFile)
{
    qsmtest::FakeLanguageMonitor lm;
    m_Registry.SetTcpPort(lm.Port());
    const std::wstring name = Install(L"Quillor Log");
    const std::string body = qsmtest::LogBody(326654);
    const std::string header = Bytes({0x84, 0x00});
    const std::wstring failed = L"Internal error, can't download log file.";
    const struct {
        const char* name;
        LmReply reply;
        DWORD code;
        std::string content; // what the file holds when saved
        std::wstring message;
        bool toFolder = false; // FILE is a folder, which a file cannot replace
        const wchar_t* printer = nullptr; // another than the installed one
    } cases[] = {
        {"whole", LmReply().Then(0, header + body.substr(0, 100000)).Then(100, body.substr(100000)), 0, body, L"Saved"},
        {"empty", LmReply::Answer(header), 0, "", L"Saved"},
        {"cut", LmReply().Then(0, header + body.substr(0, 1000)).AndClose(), 1, "", failed},
        {"wrong answer", LmReply::Answer(Bytes({0x85, 0x00}) + body), 1, "", failed},
        {"target is a folder", LmReply::Answer(header + body), 1, "", L"Can't put the log file in place.", true},
        {"unknown printer", LmReply::Silence(), 1, "", L"is not monitored", false, L"No such printer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qsmtest::TempFolder folder;
        const std::wstring file = folder.FileName(L"printer.log");
        ASSERT_TRUE(!c.toFolder || CreateDirectoryW(file.c_str(), nullptr));
        lm.Queue(4, c.reply);
        const Outcome run = Start(L"--save-log \"" + (c.printer ? c.printer : name) + L"\" \"" + file + L"\"");
        EXPECT_EQ(run.code, c.code) << run.json;
        EXPECT_NE(run.out.find(c.message), std::wstring::npos) << run.json;
        std::string bytes;
        EXPECT_EQ(qsmtest::ReadFileBytes(file, bytes), c.code == 0);
        EXPECT_TRUE(bytes == c.content) << bytes.size() << " bytes";
        EXPECT_EQ(FilesIn(folder.Path()), c.code == 0 ? 1u : 0u) << "a temporary file is left";
        if (c.toFolder)
            RemoveDirectoryW(file.c_str());
    }
}
