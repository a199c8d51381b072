#include "bytes.h"
#include "fake_lm.h"
#include "handle.h"
#include "json.h"
#include "language.h"
#include "lmsim_process.h"
#include "maindlg.h"
#include "printer.h"
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include <gtest/gtest.h>
#include <cstdio>

using mrvAPI::mrvLanguages;
using qsmtest::Bytes;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;
using qsmtest::SpoolerFixture;

namespace {

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::string Text(UINT id)
{
    return Utf8(mrvLanguages::GetText(id));
}

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
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    do {
        count += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

struct Outcome {
    DWORD code = STILL_ACTIVE;
    std::string out; // as written into a file: the redirected case
    std::string err;
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
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        // Fresh names: Wine's console host of the last run may still hold its files.
        const std::wstring runId = std::to_wstring(++m_Runs);
        const std::wstring outName = m_Output.FileName(L"out" + runId + L".txt");
        const std::wstring errName = m_Output.FileName(L"err" + runId + L".txt");
        std::wstring line = L"\"" + qsmtest::ExeDir() + L"..\\quillorstat.exe\" " + arguments;
        PROCESS_INFORMATION info = {};
        {
            mrvAPI::mrvKernelHandle out(CreateFileW(outName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                    CREATE_ALWAYS, 0, nullptr));
            mrvAPI::mrvKernelHandle err(CreateFileW(errName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                    CREATE_ALWAYS, 0, nullptr));
            STARTUPINFOW si = {};
            si.cb = sizeof si;
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = out.Get();
            si.hStdError = err.Get();
            const ULONGLONG start = GetTickCount64();
            if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                                &info)) {
                ADD_FAILURE() << "quillorstat.exe not started, error " << GetLastError();
                return run;
            }
            mrvAPI::mrvKernelHandle process(info.hProcess), thread(info.hThread);
            if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "quillorstat.exe still runs after 60 s";
                TerminateProcess(info.hProcess, 99);
                WaitForSingleObject(info.hProcess, 5000);
            }
            run.ms = GetTickCount64() - start;
            GetExitCodeProcess(info.hProcess, &run.code);
        }
        qsmtest::ReadFileBytes(outName, run.out);
        qsmtest::ReadFileBytes(errName, run.err);
        return run;
    }

    // Answers to everything a polling cycle asks, with an error answer for the state check.
    void AnswerPolling(FakeLanguageMonitor& lm, const std::string& errorAnswer)
    {
        lm.OnCommand(5, LmReply::Answer(Bytes({0x85, 0x00}) + "ready"));
        lm.OnCommand(12, LmReply::Answer(Bytes({0x8C, 0x00}) + "17"));
        lm.OnCommand(11, LmReply::Answer(Bytes({0x8B, 0x00}) + "17"));
        lm.OnCommand(10, LmReply::Answer(errorAnswer));
        lm.OnCommand(9, LmReply::Answer(Bytes({0x89, 0x00, 0x2C, 0x01})));
        lm.OnCommand(1, LmReply::Answer(Bytes({0x81, 0x00, 0x50})));
        lm.OnCommand(2, LmReply::Answer(Bytes({0x82, 0x00, 0xC8})));
        lm.OnCommand(3, LmReply::Answer(Bytes({0x83, 0x00, 0x29})));
        lm.Queue(3, LmReply::Answer(Bytes({0x88, 0x00}))); // a new connection's reset comes first
        lm.OnCommand(6, LmReply::Answer(Bytes({0x86, 0x00}) + "PLA-7"));
        lm.OnCommand(7, LmReply::Answer(Bytes({0x87, 0x00}) + "poster.pdf"));
    }

    qsmtest::RegistryFixture m_Registry;
    SpoolerFixture m_Spooler;
    qsmtest::TempFolder m_Output;
    int m_Runs = 0;
};

} // namespace

TEST_F(Quillorstat, EveryFormatShowsTheMonitoredPrintersInUtf8)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet"));
    m_Registry.SetTcpPort(sim.Port());
    const std::wstring name = Install(L"Quillor Zürich Ж");
    const std::wstring com = Install(L"Quillor Serial", SpoolerFixture::ComPort());
    const std::string labels = "printer=\"" + Utf8(name) + "\",port=\"FILE:\"}";

    const struct {
        const wchar_t* arguments;
        std::vector<std::string> lines;
    } cases[] = {
        {L"", {Utf8(mrvMainDialog::MakeTitle(name, L"FILE:")), Text(40), "72 %", "90 %", "none"}},
        {L"--format prometheus",
         {"# TYPE quillor_ink_level_percent gauge", "quillor_up{" + labels + " 1",
          "quillor_ink_level_percent{" + labels + " 72", "quillor_uv_lamp_percent{" + labels + " 90",
          "quillor_printer_error{" + labels + " 0", "quillor_queue_jobs{" + labels + " 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.arguments));
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, 0u) << run.err;
        for (const std::string& line : c.lines)
            EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin:\n" << run.out;
        EXPECT_EQ(run.out.find(Utf8(com)), std::string::npos) << "a printer on a COM port is shown";
    }

    const Outcome run = Start(L"--format json");
    EXPECT_EQ(run.code, 0u) << run.err;
    Json doc;
    ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
    ASSERT_EQ(doc["printers"].items.size(), 1u) << run.out;
    const Json& p = doc["printers"].items[0];
    EXPECT_EQ(p["name"].text, Utf8(name));
    EXPECT_EQ(p["port"].text, "FILE:");
    EXPECT_TRUE(p["reachable"].flag);
    EXPECT_EQ(p["status_code"].number, 40);
    EXPECT_EQ(p["status_text"].text, Text(40));
    EXPECT_EQ(p["ink_percent"].number, 72);
    EXPECT_EQ(p["uv_percent"].number, 90);
    EXPECT_EQ(p["queue_jobs"].number, 0);
    EXPECT_EQ(p["error"].type, Json::Null);
    EXPECT_TRUE(p.Has("error"));
}

TEST_F(Quillorstat, CheckStateFollowsTheThresholds)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet")); // ink 72, UV lamp 90
    m_Registry.SetTcpPort(sim.Port());
    const std::string n = Utf8(Install(L"Quillor Check"));
    const struct {
        const wchar_t* arguments;
        DWORD code;
        std::string start;
    } cases[] = {
        {L"--check", 0, "QUILLOR OK - " + n + " ink 72%, " + n + " UV 90% | '" + n + " ink'=72%;15:;5:;0;100 '" + n +
                            " uv'=90%;15:;5:;0;100 '" + n + " queue'=0;;;0\n"},
        {L"--check --warn 72", 0, "QUILLOR OK - "}, // not below
        {L"--check --warn 73", 1, "QUILLOR WARNING - " + n + " ink 72% |"},
        {L"--check --warn 91", 1, "QUILLOR WARNING - " + n + " ink 72%, " + n + " UV 90% |"},
        {L"--check --warn 91 --crit 73", 2, "QUILLOR CRITICAL - " + n + " ink 72%, " + n + " UV 90% |"},
        {L"--check --crit 91 --warn 91", 2, "QUILLOR CRITICAL - "},
        {L"--check --warn 101", 3, "QUILLOR UNKNOWN - wrong arguments: --warn"},
        {L"--check --crit 20 --warn 10", 3, "QUILLOR UNKNOWN - wrong arguments: --crit 20 is above --warn 10"},
        {L"--check --format json", 3, "QUILLOR UNKNOWN - wrong arguments"},
    };
    for (const auto& c : cases) {
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << Utf8(c.arguments) << ": " << run.out;
        EXPECT_EQ(run.out.compare(0, c.start.size(), c.start), 0) << Utf8(c.arguments) << ": " << run.out;
    }
}

TEST_F(Quillorstat, WorstStateWinsAndOnePrinterCanBePicked)
{
    qsmtest::LmsimProcess sim;
    // Only printer index 0 is known; the other gets answers without values.
    ASSERT_TRUE(sim.Start(L"--scenario static --quiet --printers 1"));
    m_Registry.SetTcpPort(sim.Port());
    Install(L"Quillor Worst A");
    Install(L"Quillor Worst B");
    mrvAPI::mrvPrinter::Enumerate((SpoolerFixture::Tag() + L" qstat").c_str());
    ASSERT_EQ(mrvAPI::mrvPrinter::GetCount(), 2u);
    const std::wstring known = std::unique_ptr<mrvAPI::mrvPrinter>(mrvAPI::mrvPrinter::GetPrinter(0))->GetName();
    const std::wstring silent = std::unique_ptr<mrvAPI::mrvPrinter>(mrvAPI::mrvPrinter::GetPrinter(1))->GetName();
    mrvAPI::mrvPrinter::Clear();

    const struct {
        std::wstring arguments;
        DWORD code;
    } cases[] = {
        {L"--check", 3},                                  // OK and UNKNOWN
        {L"--check --warn 80", 3},                        // WARNING and UNKNOWN
        {L"--check --warn 80 --crit 80", 2},              // CRITICAL and UNKNOWN
        {L"--check --warn 80 --printer \"" + known + L"\"", 1},
        {L"--check --printer \"" + known + L"\"", 0},
        {L"--check --printer \"" + silent + L"\"", 3},
        {L"--check --printer \"No such printer\"", 3},
    };
    for (const auto& c : cases) {
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << Utf8(c.arguments) << ": " << run.out;
    }
}

TEST_F(Quillorstat, PrinterErrorsGoThroughTheErrorTable)
{
    FakeLanguageMonitor lm;
    m_Registry.SetTcpPort(lm.Port());
    Install(L"Quillor Errors");
    const struct {
        const char* code;
        std::wstring printerText;
        bool clears; // gone by the second cycle: no error to show
        std::string caption;
        std::string text;
        const char* icon;
    } cases[] = {
        {"0000012A", L"Tank leer", false, Text(61) + " 0x0000012A", Text(71), "warning"},
        {"00000201", L"Stau in Fach 2 – Öffnen", false, Text(63) + " 0x00000201", Utf8(L"Stau in Fach 2 – Öffnen"),
         "error"},
        {"0000ABCD", L"Unbekannt", false, Text(60) + " 0x0000ABCD", Text(70), "error"}, // DEFAULT
        {"0000012A", L"Tank leer", true, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.code) + (c.clears ? " cleared" : ""));
        AnswerPolling(lm, c.clears ? ErrorAnswer("00000000", L"") : ErrorAnswer(c.code, c.printerText));
        if (c.clears)
            lm.Queue(10, LmReply::Answer(ErrorAnswer(c.code, c.printerText)));
        const Outcome run = Start(L"--format json");
        Json doc;
        ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
        ASSERT_EQ(doc["printers"].items.size(), 1u);
        EXPECT_EQ(doc["printers"].items[0]["status_code"].number, 41); // after the reset
        EXPECT_EQ(doc["printers"].items[0]["uv_percent"].number, 100);  // 200 fills the bar
        const Json& error = doc["printers"].items[0]["error"];
        if (c.clears) {
            EXPECT_EQ(error.type, Json::Null) << run.out;
            continue;
        }
        EXPECT_EQ(error["code"].text, c.code);
        EXPECT_EQ(error["caption"].text, c.caption);
        EXPECT_EQ(error["text"].text, c.text);
        EXPECT_EQ(error["icon"].text, c.icon);
        EXPECT_EQ(error["printer_text"].text, Utf8(c.printerText));

        const Outcome check = Start(L"--check");
        EXPECT_EQ(check.code, 2u) << check.out;
        EXPECT_NE(check.out.find(" error " + c.caption), std::string::npos) << check.out;
    }
}

TEST_F(Quillorstat, NoPrinterNoMonitorOrASilentOneEndsInTime)
{
    const std::string noPrinter = Text(1).substr(0, Text(1).find('\n'));
    const struct {
        const char* name;
        const wchar_t* arguments;
        DWORD code;
        bool onStderr;
        std::string out;
    } none[] = {
        {"table", L"", 1, true, noPrinter},
        {"json", L"--format json", 1, false, "\"printers\": []"},
        {"check", L"--check", 3, false, "QUILLOR UNKNOWN - no printer is monitored\n"},
    };
    Install(L"Quillor Serial Only", SpoolerFixture::ComPort());
    for (const auto& c : none) {
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << c.name;
        EXPECT_NE((c.onStderr ? run.err : run.out).find(c.out), std::string::npos)
            << c.name << ": " << run.out << run.err;
    }

    const std::wstring printer = Install(L"Quillor Unreachable");
    const std::string name = Utf8(printer);
    FakeLanguageMonitor silentLm; // accepts and never answers
    silentLm.OnCommand(4, LmReply::Answer(Bytes({0x84, 0x00}) + std::string(1000, 'x')));
    const std::wstring log = m_Output.FileName(L"stalled.log");
    const struct {
        const char* name;
        DWORD port;
        std::wstring arguments;
        DWORD code;
        std::string out;
        ULONGLONG withinMs;
    } down[] = {
        {"refused", 1, L"--check", 3, "QUILLOR UNKNOWN - " + name + ": the language monitor on TCP port 1 cannot be reached", 8000},
        {"refused table", 1, L"", 1, "the language monitor on TCP port 1 cannot be reached", 8000},
        {"silent", silentLm.Port(), L"--check", 3, "QUILLOR UNKNOWN - " + name + ": the language monitor does not answer", 20000},
        // Part of a log and then quiet: saved after 5 s of it, unless the time is up first.
        {"stalled log", silentLm.Port(), L"--save-log \"" + printer + L"\" \"" + log + L"\" --timeout 2", 1, "", 12000},
    };
    for (const auto& c : down) {
        m_Registry.SetTcpPort(c.port);
        const Outcome run = Start(c.arguments);
        EXPECT_EQ(run.code, c.code) << c.name << ": " << run.out << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.name << ": " << run.out;
        EXPECT_LT(run.ms, c.withinMs) << c.name;
    }
    EXPECT_EQ(FilesIn(m_Output.Path()), 2u * m_Runs) << "only the captured output, no log";
}

TEST_F(Quillorstat, SaveLogWritesTheWholeLogOrNoFile)
{
    FakeLanguageMonitor lm;
    m_Registry.SetTcpPort(lm.Port());
    const std::wstring name = Install(L"Quillor Log");
    std::string body;
    for (size_t i = 0; body.size() < 326654; ++i)
        body += static_cast<char>(i % 7 == 0 ? 0 : i % 11 == 0 ? '\n' : i % 13 == 0 ? 0x1A : 'a' + i % 26);
    const std::string header = Bytes({0x84, 0x00});
    const struct {
        const char* name;
        LmReply reply;
        DWORD code;
        const std::string* content; // null: no file
        const char* message;
        bool toFolder = false; // FILE is a folder, which a file cannot replace
    } cases[] = {
        {"whole", LmReply().Then(0, header + body.substr(0, 100000)).Then(100, body.substr(100000)), 0, &body, "Saved"},
        {"empty", LmReply::Answer(header), 0, nullptr, "Saved"},
        {"cut", LmReply().Then(0, header + body.substr(0, 1000)).AndClose(), 1, nullptr,
         "Internal error, can't download log file."},
        {"wrong answer", LmReply::Answer(Bytes({0x85, 0x00}) + body), 1, nullptr,
         "Internal error, can't download log file."},
        {"target is a folder", LmReply::Answer(header + body), 1, nullptr, "Can't open file to write.", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qsmtest::TempFolder folder;
        const std::wstring file = folder.FileName(L"printer.log");
        if (c.toFolder) {
            ASSERT_TRUE(CreateDirectoryW(file.c_str(), nullptr));
        }
        lm.Queue(4, c.reply);
        const Outcome run = Start(L"--save-log \"" + name + L"\" \"" + file + L"\"");
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE((run.out + run.err).find(c.message), std::string::npos) << run.out << run.err;
        std::string bytes;
        const bool saved = c.code == 0;
        EXPECT_EQ(qsmtest::ReadFileBytes(file, bytes), saved);
        EXPECT_TRUE(bytes == (c.content ? *c.content : std::string())) << bytes.size() << " bytes";
        EXPECT_EQ(FilesIn(folder.Path()), saved ? 1u : 0u) << "a temporary file is left";
        if (c.toFolder)
            RemoveDirectoryW(file.c_str());
    }
    const Outcome unknown = Start(L"--save-log \"No such printer\" \"" + m_Output.FileName(L"x.log") + L"\"");
    EXPECT_EQ(unknown.code, 1u);
    EXPECT_NE(unknown.err.find("is not monitored"), std::string::npos) << unknown.err;
}
