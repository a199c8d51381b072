#include "bytes.h"
#include "debug_capture.h"
#include "dialog_driver.h"
#include "fake_lm.h"
#include "handle.h"
#include "logfile.h"
#include "messages.h"
#include "post_recorder.h"
#include "printer.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "temp_folder.h"
#include "update.h"
#include "utils.h"
#include "window_probe.h"
#include <gtest/gtest.h>
#include <memory>

using mrvAPI::mrvPrinter;
using namespace qsmtest;

namespace {

constexpr size_t kLogLength = 326656;
const std::string kFailed = "mrvUpdate::ThreadProc: Connection failed, try to start language monitor.\n";

// A log of the full expected length ends its collection without the 5 s wait.
std::string FullLogAnswer(int code = 0x84)
{
    return Bytes({code, 0x00}) + LogBody(kLogLength - 2);
}

// A monitor, a window and a worker of their own, so that slow cases run side by side.
struct Rig {
    FakeLanguageMonitor lm;
    PostRecorder window{{mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true};
    mrvPrinter printer{L"Quillor Q1", L"USB001", L"Quillor Driver"};
    std::unique_ptr<mrvUpdate> worker;

    void Start(mrvPrinter* other = nullptr, DWORD cycleMs = 20)
    {
        worker.reset(new mrvUpdate(window.Hwnd(), other ? other : &printer, cycleMs));
        worker->Start(0);
    }
    // Answers to everything a polling cycle asks; the state check stops at its gate.
    void AnswerPolling()
    {
        const std::pair<uint8_t, std::string> answers[] = {
            {5, Bytes({0x85, 0x00})},         {9, Bytes({0x89, 0x00, 0x2C, 0x01})},
            {1, Bytes({0x81, 0x00, 0x50})},   {2, Bytes({0x82, 0x00, 0x10})},
            {3, Bytes({0x83, 0x00, 0x00})},   {6, Bytes({0x86, 0x00}) + "PLA"},
            {7, Bytes({0x87, 0x00}) + "job"}};
        for (const auto& a : answers)
            lm.OnCommand(a.first, LmReply::Answer(a.second));
    }
    void RequestLog(const std::wstring& path)
    {
        worker->SetLogFileName(path.c_str());
        worker->RequestLogDownload();
    }
    size_t Posted(UINT message) const { return window.Of(message).size(); }
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) { return qsmtest::PumpUntil(done, ms); }
};

class WorkerTest : public ::testing::Test, protected Rig {
protected:
    WorkerTest() { m_Registry.SetTcpPort(lm.Port()); }
    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
};

} // namespace

TEST_F(WorkerTest, ComPortPrinterIsNeverPolledButDownloadsItsLog)
{
    mrvPrinter serial(L"Quillor Q2", L"COM3:", L"Quillor Driver");
    AnswerPolling();
    lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    Start(&serial);
    worker->SetActive(true);
    PumpFor(300);
    EXPECT_EQ(lm.Accepted(), 0);
    RequestLog(m_Folder.FileName(L"com.log"));
    ASSERT_TRUE(PumpUntil([&] { return Posted(mrvWM_LOG_DONE) == 1; }));
    // The connection made for the log is released at the next cycle and nothing is polled.
    EXPECT_TRUE(lm.WaitForClosed(1, 2000));
    PumpFor(200);
    EXPECT_EQ(lm.Commands(), Bytes({4}));
    EXPECT_EQ(window.Messages().size(), 1u);
}

TEST_F(WorkerTest, FailedRequestsShortenTheChainAndTheNumberIsAskedUntilItCame)
{
    DebugCapture capture;
    AnswerPolling();
    lm.Queue(9, LmReply::Answer(Bytes({0x89, 0x00}))); // too short: failed
    lm.Queue(9, LmReply::Silence());                   // no answer: failed
    lm.Queue(2, LmReply::Silence());                   // no answer: 3, 6, 7 wait for the next cycle
    m_Registry.Remove(L"TCPPort");
    Start();
    worker->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return capture.Count(kFailed) >= 2; }));
    m_Registry.SetTcpPort(lm.Port()); // read again before every attempt
    const std::string expected = Bytes({5, 9, 1, 2, 5, 9, 1, 2, 3, 6, 7, 5, 9, 1, 2, 3, 6, 7, 5, 1, 2, 3, 6, 7});
    ASSERT_TRUE(PumpUntil([&] { return lm.Commands().size() >= expected.size(); }));
    EXPECT_EQ(lm.Commands().substr(0, expected.size()), expected);
    PumpFor(50);
    EXPECT_EQ(Posted(mrvWM_NUMBER), 1u);
    EXPECT_EQ(lm.Accepted(), 1); // a time-out does not break the connection
}

// The window must see each text as it stood when posted, although the worker
// refills its buffer with the next answer before the window handles the first.
TEST_F(WorkerTest, EachPostedTextIsTheWindowsOwnCopy)
{
    AnswerPolling();
    lm.Queue(6, LmReply::Answer(Bytes({0x86, 0x00}) + "FIRST-MATERIAL"));
    lm.Queue(7, LmReply::Answer(Bytes({0x87, 0x00}) + std::string(2000, 'j')));
    Start();
    worker->SetActive(true);
    ASSERT_TRUE(lm.WaitForRequests(20, 3000)); // three cycles while the window does not look
    PumpFor(100);
    const auto material = window.Of(mrvWM_MAT_CODE), job = window.Of(mrvWM_PRINTJOB);
    ASSERT_TRUE(material.size() >= 2 && job.size() >= 2);
    EXPECT_EQ(material[0].text + " " + material[1].text, "FIRST-MATERIAL PLA");
    EXPECT_EQ(job[0].text + " " + job[1].text, std::string(1023, 'j') + " job");
}

// A connection that breaks inside the state check is replaced at the next
// cycle instead of leaving the window without status.
TEST_F(WorkerTest, ConnectionBrokenByTheStateCheckIsReplaced)
{
    DebugCapture capture;
    AnswerPolling();
    lm.OnCommand(5, LmReply::Answer(Bytes({0x85, 0x00}) + "gate"));
    lm.Queue(12, LmReply::Hangup());
    lm.OnCommand(12, LmReply::Answer(Bytes({0x8C, 0x00}) + "17"));
    lm.OnCommand(11, LmReply::Answer(Bytes({0x8B, 0x00}) + "16"));
    Start();
    worker->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Posted(mrvWM_INK_LEVEL) >= 1; }));
    EXPECT_EQ(lm.Accepted(), 2);
    EXPECT_EQ(lm.Commands().substr(0, 4), Bytes({5, 12, 5, 12}));
    EXPECT_EQ(capture.Count("CheckPrinterState start error 1!"), 1u);
    EXPECT_EQ(capture.Count("SOCKET_API: Connection closed."), 1u);
}

// Short logs end 5 s after their last byte: the cases wait side by side.
TEST_F(WorkerTest, LogsAreWrittenByteForByte)
{
    DebugCapture capture;
    const std::string full = LogBody(kLogLength - 2), header = Bytes({0x84, 0x00});
    const struct {
        const wchar_t* file;
        LmReply reply;
        std::string content;
        size_t size; // as the worker reports it
    } cases[] = {
        {L"full.log", LmReply().Then(0, header + full.substr(0, 9999)).Then(50, full.substr(9999)), full, kLogLength},
        {L"short.log", LmReply::Answer(header + full.substr(0, 1000)), full.substr(0, 1000), 1002}, // then silence
        {L"code-only.log", LmReply::Answer(Bytes({0x84})), "", 1},
    };
    std::vector<std::unique_ptr<Rig>> rigs;
    for (const auto& c : cases) {
        rigs.emplace_back(new Rig());
        rigs.back()->lm.Queue(4, c.reply);
        m_Registry.SetTcpPort(rigs.back()->lm.Port());
        rigs.back()->Start();
        rigs.back()->RequestLog(m_Folder.Write(c.file, "older and longer content"));
        ASSERT_TRUE(rigs.back()->lm.WaitForRequests(1, 3000)); // connected: the next rig may change the port
    }
    for (size_t i = 0; i < rigs.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(mrvAPI::mrvUtils::W2M(c.file));
        ASSERT_TRUE(rigs[i]->PumpUntil([&] { return rigs[i]->Posted(mrvWM_LOG_DONE) == 1; }, 10000));
        rigs[i]->worker->Stop(1000);
        EXPECT_EQ(rigs[i]->lm.Requests(), (std::vector<std::string>{Bytes({0x04, 0x00})}));
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(m_Folder.FileName(c.file), bytes));
        EXPECT_TRUE(bytes == c.content) << bytes.size();
        EXPECT_EQ(capture.Count("LANG__ReadFromLANPrinter SaveLog Size " + std::to_string(c.size) + "\n"), 1u);
    }
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData Break 2"), 2u); // only the short logs waited
}

TEST_F(WorkerTest, LogFailuresShowTheirBoxBeforeTheEndIsReported)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\no-such-folder\\deeper\\printer.log", L"Can't open file to write."},
        {m_Folder.FileName(L"down.log"), L"Internal error - no connection to language monitor."},
    };
    lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(mrvAPI::mrvUtils::W2M(c.second));
        window.Clear();
        if (&c != cases)
            lm.Refuse();
        std::wstring box;
        qsmtest::DialogDriver closer(L"Error", [&](HWND hBox) -> UINT {
            box = qsmtest::ReadMessageBox(hBox).text;
            return IDOK;
        });
        RequestLog(c.first);
        bool order = true;
        ASSERT_TRUE(PumpUntil(
            [&] {
                const bool done = Posted(mrvWM_LOG_DONE) == 1;
                order = order && (!done || closer.Seen() == 1);
                return done;
            },
            10000));
        closer.Stop();
        EXPECT_TRUE(order) << "WM_USER+1 came before the box was closed";
        EXPECT_EQ(box, c.second);
        std::string bytes;
        EXPECT_FALSE(ReadFileBytes(c.first, bytes));
    }
}

TEST_F(WorkerTest, WindowNeverWaitsAndStopEndsAStalledExchange)
{
    // The log answer stalls in its first wait, or between chunks.
    for (const LmReply& reply : {LmReply::Silence(), LmReply().Then(0, Bytes({0x84, 0x00}) + "part")}) {
        DebugCapture capture;
        lm.ClearRequests();
        lm.Queue(4, reply);
        Start();
        const std::wstring path = m_Folder.FileName(L"stalled.log");
        RequestLog(path);
        ASSERT_TRUE(lm.WaitForRequests(1, 3000));
        Sleep(100);
        const ULONGLONG start = GetTickCount64();
        worker->SetActive(true);
        worker->SetActive(false);
        RequestLog(path);
        EXPECT_LT(GetTickCount64() - start, 200u); // a download holds out for minutes
        const std::string id = std::to_string(worker->GetThreadId());
        const ULONGLONG stopStart = GetTickCount64();
        worker->Stop(1000);
        EXPECT_LT(GetTickCount64() - stopStart, 900u);
        EXPECT_EQ(capture.Count("Thread <" + id + "> termination recognized, stop normal.\n"), 1u);
        std::string bytes;
        EXPECT_FALSE(ReadFileBytes(path, bytes)); // no partial log
        worker.reset();
    }
}

// Requests carry the printer's place in the list (the list's length when it is not
// listed); an unreachable monitor is started through the spooler, which fails for
// a printer the spooler no longer knows.
TEST_F(WorkerTest, PrintersPlaceInTheListAndStartThroughTheSpooler)
{
    SpoolerFixture spooler;
    for (const wchar_t* name : {L"Quillor Index A", L"Quillor Index B"})
        ASSERT_TRUE(spooler.InstallPrinter(SpoolerFixture::Unique(name), L"FILE:", SpoolerFixture::QuillorDriver()));
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    ASSERT_EQ(mrvPrinter::GetCount(), 2u);
    std::unique_ptr<mrvPrinter> listed(mrvPrinter::GetPrinter(1));
    ASSERT_TRUE(listed);
    mrvPrinter unlisted(L"Quillor not listed", L"USB002", SpoolerFixture::QuillorDriver());
    const struct {
        mrvPrinter* printer;
        char index;
        bool opens;
    } cases[] = {{listed.get(), 1, true}, {&unlisted, 2, false}};
    AnswerPolling();
    lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    for (const auto& c : cases) {
        lm.ClearRequests();
        window.Clear();
        Start(c.printer);
        RequestLog(m_Folder.FileName(L"index.log"));
        worker->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return lm.CountCommand(7) >= 2 && Posted(mrvWM_LOG_DONE) == 1; }));
        worker->Stop(1000);
        EXPECT_EQ(lm.Requests()[0], std::string("\x04", 1) + c.index);
        for (const std::string& r : lm.Requests())
            EXPECT_EQ(r[1], c.index) << static_cast<int>(r[0]);
    }
    lm.Refuse();
    for (const auto& c : cases) {
        DebugCapture capture;
        Start(c.printer);
        worker->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return capture.Count(kFailed) >= 3; }, 10000));
        worker->Stop(1000);
        // F: a failed attempt, S: the failed start through the spooler, which follows
        // the first attempt (then at most every 10 s) when the printer cannot be opened.
        std::string order;
        for (const std::string& l : capture.Lines())
            order += l == kFailed ? "F" : l == "mrvUpdate::ThreadProc\n" ? "S" : "";
        EXPECT_EQ(order.substr(0, 3), c.opens ? "FFF" : "FSF");
        EXPECT_EQ(order.find('S', 2), std::string::npos) << order;
    }
    mrvPrinter::Clear();
}

// After every cycle the window hears whether the worker is connected.
TEST_F(WorkerTest, HiddenWorkerSleepsUntilItIsWantedAndThenStartsAtOnce)
{
    AnswerPolling();
    for (DWORD updateTime : {0u, 10000u}) { // a long update time does not delay the first cycle after showing
        const UINT cycle = WM_APP + updateTime; // apart from the last worker's
        const int accepted = lm.Accepted();
        worker.reset(new mrvUpdate(window.Hwnd(), &printer, updateTime));
        worker->SetCycleMessage(cycle);
        worker->Start(0);
        PumpFor(1000); // a worker that kept cycling while hidden would spin on a core
        ASSERT_EQ(Posted(cycle), 1u);
        EXPECT_EQ(window.Of(cycle)[0].wParam, 0u);
        EXPECT_EQ(lm.Accepted(), accepted);
        worker->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return Posted(cycle) >= 2; }, 2000));
        EXPECT_EQ(window.Of(cycle)[1].wParam, 1u);
    }
}

// A box the worker shows goes when the worker is asked to stop, and the worker
// ends by itself, still reporting the end after the box.
TEST_F(WorkerTest, AStopClosesTheWorkersOwnBox)
{
    DebugCapture capture;
    lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    Start();
    RequestLog(L"C:\\no-such-folder\\deeper\\printer.log");
    HWND hBox = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (hBox = WaitForMessageBox(L"Error", 0)) != nullptr; }, 10000));
    EXPECT_EQ(ReadMessageBox(hBox).text, L"Can't open file to write.");
    EXPECT_EQ(Posted(mrvWM_LOG_DONE), 0u);
    const ULONGLONG start = GetTickCount64();
    worker->Stop(1000);
    EXPECT_LT(GetTickCount64() - start, 900u);
    EXPECT_FALSE(IsWindow(hBox));
    EXPECT_EQ(capture.CountContaining("stop normal."), 1u);
    PumpUntil([&] { return Posted(mrvWM_LOG_DONE) == 1; }, 1000);
    EXPECT_EQ(Posted(mrvWM_LOG_DONE), 1u);
}

// The file is whole or absent, no temporary file stays, and it is written wherever a
// plain save could write it: below a long folder, over a file that a reader holds,
// keeping the file's attributes. Each failure names its step.
TEST_F(WorkerTest, LogFileEdges)
{
    const std::string log = LogBody(5000), old = "older content";
    std::wstring deep = m_Folder.Path();
    while (deep.size() < MAX_PATH - 12) {
        deep += L"\\" + std::wstring(std::min<size_t>(60, MAX_PATH - 12 - deep.size()), L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const auto hold = [](const std::wstring& path, DWORD share) {
        return std::make_shared<mrvAPI::mrvKernelHandle>(
            CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const struct {
        const char* name;
        std::wstring path;
        const char* before; // null: no file there
        DWORD attributes;   // set on the file before
        DWORD share;        // a reader's sharing; 0: no reader
        mrvLogResult result;
    } cases[] = {
        {"long folder", deep + L"\\p.log", nullptr, 0, 0, mrvLogResult::Saved},
        {"a reader that lets writers in", m_Folder.FileName(L"read.log"), "old", 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
         mrvLogResult::Saved},
        {"hidden", m_Folder.FileName(L"hidden.log"), "old", FILE_ATTRIBUTE_HIDDEN, 0, mrvLogResult::Saved},
        {"read-only", m_Folder.FileName(L"ro.log"), "old", FILE_ATTRIBUTE_READONLY, 0, mrvLogResult::CannotOpen},
        {"a reader that keeps writers out", m_Folder.FileName(L"locked.log"), "old", 0, FILE_SHARE_READ,
         mrvLogResult::CannotReplace},
        {"no such folder", m_Folder.FileName(L"none\\p.log"), nullptr, 0, 0, mrvLogResult::CannotOpen},
        {"a folder of that name", m_Folder.Path() + L"\\dir", nullptr, 0, 0, mrvLogResult::CannotReplace},
    };
    ASSERT_TRUE(CreateDirectoryW(cases[6].path.c_str(), nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.before)
            m_Folder.Write(c.path.substr(m_Folder.Path().size() + 1), old);
        if (c.attributes) {
            ASSERT_TRUE(SetFileAttributesW(c.path.c_str(), c.attributes));
        }
        auto reader = c.share ? hold(c.path, c.share) : nullptr;
        EXPECT_EQ(WriteLogFile(log, c.path), c.result);
        reader.reset();
        const DWORD attributes = GetFileAttributesW(c.path.c_str());
        if (c.attributes) {
            EXPECT_EQ(attributes & c.attributes, c.attributes);
        }
        SetFileAttributesW(c.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::string bytes;
        const bool read = ReadFileBytes(c.path, bytes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(read, c.before || c.result == mrvLogResult::Saved);
        EXPECT_TRUE(bytes == (c.result == mrvLogResult::Saved ? log : c.before ? old : "")) << bytes.size();
        const std::wstring folder = c.path.substr(0, c.path.rfind(L'\\'));
        WIN32_FIND_DATAW found;
        const HANDLE hFind = FindFirstFileW((folder + L"\\qlg*").c_str(), &found);
        EXPECT_EQ(hFind, INVALID_HANDLE_VALUE) << "a temporary file stayed";
        if (hFind != INVALID_HANDLE_VALUE)
            FindClose(hFind);
    }
}
