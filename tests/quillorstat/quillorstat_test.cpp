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
#include <fstream>
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

std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                         &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// A name as a line shows it: "|", CR and LF would break the line.
std::wstring Visible(std::wstring text)
{
    for (auto [from, to] : {std::pair{L'|', L'\u00A6'}, {L'\r', L'\u240D'}, {L'\n', L'\u240A'}})
        std::replace(text.begin(), text.end(), from, to);
    return text;
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
    void TearDown() override
    {
        for (const auto& name : m_Optional)
            qsmtest::DeleteLocalPrinter(name);
        mrvLanguages::Clear();
    }

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

    // Standard output byte for byte into a file.
    Outcome StartToFile(const std::wstring& arguments, const std::wstring& path)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        mrvAPI::mrvKernelHandle file(
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = file.Get();
        std::wstring line = L"\"" + qsmtest::ExeDir() + L"..\\quillorstat.exe\" " + arguments;
        PROCESS_INFORMATION pi{};
        Outcome run;
        EXPECT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
        mrvAPI::mrvKernelHandle process(pi.hProcess), thread(pi.hThread);
        if (WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.Get(), &run.code);
        return run;
    }

    // A printer the spooler may refuse; removed at the end of the test when it took it.
    bool TryInstall(const std::wstring& name)
    {
        if (!qsmtest::AddLocalPrinter(name, L"FILE:", SpoolerFixture::Unique(L"VESTRANO QUILLOR 2") + L" qstat").ok)
            return false;
        m_Optional.push_back(name);
        return true;
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
    std::vector<std::wstring> m_Optional;
};

} // namespace

// Printer names that break lines, labels and quoting, through every format; the
// parsers of other projects read the files in read_outputs.py.
TEST_F(Quillorstat, HostileNamesInEveryFormatAndTheList)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet --printers 4"));
    m_Registry.SetTcpPort(sim.Port());
    // Windows takes no backslash in a local printer's name (Wine files it as a registry path).
    std::vector<std::wstring> names{Install(L"Q|One 'x'=y"), Install(L"Quillor \"Z\u00FCrich\" \u0416 a=b")};
    // A line break only where the spooler takes it.
    const std::wstring broken = SpoolerFixture::Unique(L"Quillor Line\r\nBreak|");
    if (TryInstall(broken))
        names.push_back(broken);
    const std::wstring com = Install(L"Quillor Serial", SpoolerFixture::ComPort());
    const std::wstring other = SpoolerFixture::Unique(L"Laser Other");
    ASSERT_TRUE(m_Spooler.InstallPrinter(other, L"FILE:", SpoolerFixture::OtherDriver()));

    const std::wstring folder = qsmtest::ExeDir() + L"qstat_outputs";
    std::filesystem::remove_all(std::filesystem::path(folder));
    std::filesystem::create_directories(std::filesystem::path(folder));
    json installed = json::array();
    for (const auto& name : names)
        installed.push_back(Utf8(name));
    std::ofstream(std::filesystem::path(folder) / "names.json", std::ios::binary) << installed.dump();
    const std::pair<const wchar_t*, const wchar_t*> formats[] = {
        {L"", L"table.txt"}, {L"--format json", L"json.txt"}, {L"--format prometheus", L"prometheus.txt"},
        {L"--format checkmk", L"checkmk.txt"}, {L"--check", L"check.txt"}};
    for (const auto& [arguments, file] : formats) {
        const Outcome run = StartToFile(arguments, folder + L"\\" + file);
        EXPECT_EQ(run.code, 0u) << mrvUtils::W2M(arguments) << "\n" << run.json;
    }

    const Outcome list = Start(L"--list");
    EXPECT_EQ(list.code, 0u) << list.json;
    const std::wstring filter = SpoolerFixture::Tag() + L" qstat";
    const std::pair<std::wstring, std::wstring> blocks[] = {
        {names.front(), L"  Driver version  quillor.inf ("}, // the Info page's line
        {names.front(), L"  Monitored       yes\n"},
        {com, L"  Port            " + SpoolerFixture::ComPort() + L"\n"},
        {com, L"  Monitored       no: a printer on a COM port\n"},
        {other, L"  Monitored       no: its driver name does not contain the printer filter \"" + filter + L"\"\n"},
    };
    for (const auto& [name, line] : blocks) {
        const size_t at = list.out.find(Visible(name) + L"\n");
        ASSERT_NE(at, std::wstring::npos) << mrvUtils::W2M(name) << "\n" << list.json;
        const size_t next = list.out.find(L"\n\n", at);
        EXPECT_NE(list.out.substr(at, next - at + 1).find(line), std::wstring::npos) << mrvUtils::W2M(line) << list.json;
    }
}

TEST_F(Quillorstat, CheckStateFollowsTheRangesWorstStateWinsAndOnePrinterCanBePicked)
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
    std::wstring upper = n;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    const std::wstring one = L" -p \"" + n + L"\"";
    const std::wstring values = n + L": ink 72%, UV 90% |";
    const std::wstring unknown = silent + L": the language monitor does not answer";
    const struct {
        std::wstring arguments;
        DWORD code;
        std::wstring start;
    } cases[] = {
        // Wine's EnumJobsW always fails: the queue is unknown, which leaves it out.
        {L"--check" + one, 0, L"QUILLOR OK - " + values + L" '" + n + L" ink'=72%;15:;5:;0;100 '" + n +
                                  L" uv'=90%;15:;5:;0;100\n"},
        {L"--check --printer \"" + upper + L"\"", 0, L"QUILLOR OK - " + values},
        {L"--check -w 72" + one, 0, L"QUILLOR OK - "}, // not below
        {L"--check -w 73" + one, 1, L"QUILLOR WARNING - " + n + L": ink 72% | '" + n + L" ink'=72%;73:;5:;0;100"},
        {L"--check --warn 91" + one, 1, L"QUILLOR WARNING - " + values},
        {L"--check -w 91 -c 73" + one, 2, L"QUILLOR CRITICAL - " + values},
        {L"--check --uv-crit @90:95" + one, 2, L"QUILLOR CRITICAL - " + n + L": UV 90% |"},
        {L"--check --ink-warn 60:70" + one, 1, L"QUILLOR WARNING - " + n + L": ink 72% |"},
        {L"--check --ink-warn ~:72 --uv-warn 90:" + one, 0, L"QUILLOR OK - "},
        {L"--check --queue-crit @0" + one, 3, L"QUILLOR UNKNOWN - " + n + L": queue unknown | "},
        {L"--check -t 0", 3, L"QUILLOR UNKNOWN - wrong arguments: -t wants a whole number"},
        {L"--check -c 10:5", 3, L"QUILLOR UNKNOWN - wrong arguments: -c wants a range"},
        {L"--check --format json", 3, L"QUILLOR UNKNOWN - wrong arguments: choose one"},
        {L"--check", 3, L"QUILLOR UNKNOWN - " + unknown + L" |"}, // OK and UNKNOWN
        {L"--check -w 80", 3, L"QUILLOR UNKNOWN - " + unknown + L"; " + n + L": ink 72% |"},
        {L"--check -w 80 -c 80", 2, L"QUILLOR CRITICAL - " + n + L": ink 72%; " + unknown + L" |"},
        {L"--check -p \"" + silent + L"\"", 3, L"QUILLOR UNKNOWN - " + unknown + L"\n"},
        {L"--check -p \"No such printer\"", 3, L"QUILLOR UNKNOWN - printer No such printer is not monitored\n"},
    };
    for (const auto& c : cases) {
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << mrvUtils::W2M(c.arguments) << ": " << run.json;
        EXPECT_EQ(run.out.compare(0, c.start.size(), c.start), 0) << mrvUtils::W2M(c.arguments) << ": " << run.json;
    }
    // Several printers: the summary line, then one line per printer in spooler order.
    const Outcome both = Start(L"--check");
    EXPECT_EQ(both.out.substr(both.out.find(L'\n')),
              L"\n" + n + L": OK - ink 72%, UV 90%\n" + silent + L": UNKNOWN - the language monitor does not answer\n")
        << both.json;
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

// Every run ends within -t with a line that says why; a printer that did not
// finish is never shown as complete.
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
        ULONGLONG withinMs; // from the start of the Wine process
        std::wstring absent = L"";
    } cases[] = {
        {"table", 0, L"", 1, noPrinter, 20000},
        {"json", 0, L"--format json", 1, L"\"printers\": []", 20000},
        {"check", 0, L"--check", 3, L"QUILLOR UNKNOWN - no printer is monitored\n", 20000},
        {"refused", 1, L"--check", 3, L"QUILLOR UNKNOWN - " + printer + L": the language monitor on TCP port 1 cannot be reached", 8000},
        {"refused table", 1, L"", 1, L"the language monitor on TCP port 1 cannot be reached", 8000},
        {"silent", silentLm.Port(), L"--check -t 3", 3, L"QUILLOR UNKNOWN - " + printer + L": did not finish within 3 s\n", 5000},
        {"silent json", silentLm.Port(), L"--format json -t 3", 1,
         L"\"state\": \"UNKNOWN\",\n      \"reason\": \"did not finish within 3 s\"", 5000},
        {"silent prometheus", silentLm.Port(), L"--format prometheus -t 3", 1, L"quillor_printer_info{printer=\"" + printer, 5000,
         L"quillor_up{"},
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
        EXPECT_TRUE(c.absent.empty() || run.out.find(c.absent) == std::wstring::npos) << c.name << ": " << run.json;
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
