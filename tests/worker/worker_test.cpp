#include "bytes.h"
#include "debug_capture.h"
#include "dialog_driver.h"
#include "fake_lm.h"
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
using qsmtest::Bytes;
using qsmtest::DebugCapture;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;
using qsmtest::PostRecorder;
using qsmtest::ReadFileBytes;
using qsmtest::RegistryFixture;
using qsmtest::SpoolerFixture;

namespace {

constexpr DWORD kCycleMs = 20;
constexpr size_t kLogLength = 326656;

// Log bytes with zero bytes, line feeds and carriage returns among them.
std::string LogBody(size_t size)
{
    std::string body;
    for (size_t i = 0; body.size() < size; ++i)
        body += static_cast<char>(i % 7 == 0 ? 0 : i % 11 == 0 ? '\n' : i % 13 == 0 ? '\r' : 'a' + i % 26);
    return body;
}

// A log of the full expected length ends its collection without the 5 s wait.
std::string FullLogAnswer(int code = 0x84)
{
    return Bytes({code, 0x00}) + LogBody(kLogLength - 2);
}

class WorkerTest : public ::testing::Test {
protected:
    WorkerTest()
        : m_Window({mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true),
          m_Printer(L"Quillor Q1", L"USB001", L"Quillor Driver")
    {
        m_Registry.SetTcpPort(m_Lm.Port());
    }
    ~WorkerTest() override
    {
        if (m_pWorker)
            m_pWorker->Stop(1000);
    }

    void StartWorker(mrvPrinter* printer = nullptr, DWORD cycleMs = kCycleMs)
    {
        m_pWorker.reset(new mrvUpdate(m_Window.Hwnd(), printer ? printer : &m_Printer, cycleMs));
        m_pWorker->Start(0);
    }

    // Answers to everything a polling cycle asks; the state check stops at its gate.
    void AnswerPolling()
    {
        m_Lm.OnCommand(5, LmReply::Answer(Bytes({0x85, 0x00})));
        m_Lm.OnCommand(9, LmReply::Answer(Bytes({0x89, 0x00, 0x2C, 0x01})));
        m_Lm.OnCommand(1, LmReply::Answer(Bytes({0x81, 0x00, 0x50})));
        m_Lm.OnCommand(2, LmReply::Answer(Bytes({0x82, 0x00, 0x10})));
        m_Lm.OnCommand(3, LmReply::Answer(Bytes({0x83, 0x00, 0x00})));
        m_Lm.OnCommand(6, LmReply::Answer(Bytes({0x86, 0x00}) + "PLA"));
        m_Lm.OnCommand(7, LmReply::Answer(Bytes({0x87, 0x00}) + "job"));
    }

    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000)
    {
        return m_Window.PumpUntil(pred, timeoutMs);
    }
    size_t Posted(UINT message) const { return m_Window.Of(message).size(); }

    RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
    FakeLanguageMonitor m_Lm;
    PostRecorder m_Window;
    mrvPrinter m_Printer;
    std::unique_ptr<mrvUpdate> m_pWorker;
};

} // namespace

TEST_F(WorkerTest, ComPortPrinterIsNeverPolledButDownloadsItsLog)
{
    mrvPrinter serial(L"Quillor Q2", L"COM3:", L"Quillor Driver");
    AnswerPolling();
    m_Lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    StartWorker(&serial);
    m_pWorker->SetActive(true);
    m_Window.Pump(300);
    EXPECT_EQ(m_Lm.Accepted(), 0);

    const std::wstring path = m_Folder.FileName(L"com.log");
    m_pWorker->SetLogFileName(path.c_str());
    m_pWorker->RequestLogDownload();
    ASSERT_TRUE(PumpUntil([&] { return Posted(mrvWM_LOG_DONE) == 1; }));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_TRUE(bytes == FullLogAnswer().substr(2));
    // The connection made for the log is released at the next cycle and nothing is polled.
    EXPECT_TRUE(m_Lm.WaitForClosed(1, 2000));
    m_Window.Pump(200);
    EXPECT_EQ(m_Lm.Commands(), Bytes({4}));
    EXPECT_EQ(m_Lm.Accepted(), 1);
    EXPECT_EQ(m_Window.Messages().size(), 1u);
}

TEST_F(WorkerTest, FailedRequestsShortenTheChainAndTheNumberIsAskedUntilItCame)
{
    AnswerPolling();
    m_Lm.Queue(9, LmReply::Answer(Bytes({0x89, 0x00}))); // too short: failed
    m_Lm.Queue(9, LmReply::Silence());                   // no answer: failed
    m_Lm.Queue(2, LmReply::Silence());                   // no answer: 3, 6, 7 wait for the next cycle
    StartWorker();
    m_pWorker->SetActive(true);
    const std::string expected = Bytes({5, 9, 1, 2, 5, 9, 1, 2, 3, 6, 7, 5, 9, 1, 2, 3, 6, 7, 5, 1, 2, 3, 6, 7});
    ASSERT_TRUE(PumpUntil([&] { return m_Lm.Commands().size() >= expected.size(); }));
    EXPECT_EQ(m_Lm.Commands().substr(0, expected.size()), expected);
    m_Window.Pump(50);
    EXPECT_EQ(Posted(mrvWM_NUMBER), 1u);
    EXPECT_EQ(m_Lm.Accepted(), 1); // a time-out does not break the connection
}

// A connection that breaks inside the state check is replaced at the next
// cycle instead of leaving the window without status.
TEST_F(WorkerTest, ConnectionBrokenByTheStateCheckIsReplaced)
{
    DebugCapture capture;
    AnswerPolling();
    m_Lm.OnCommand(5, LmReply::Answer(Bytes({0x85, 0x00}) + "gate"));
    m_Lm.Queue(12, LmReply::Hangup());
    m_Lm.OnCommand(12, LmReply::Answer(Bytes({0x8C, 0x00}) + "17"));
    m_Lm.OnCommand(11, LmReply::Answer(Bytes({0x8B, 0x00}) + "16"));
    StartWorker();
    m_pWorker->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Posted(mrvWM_INK_LEVEL) >= 1; }));
    EXPECT_EQ(m_Lm.Accepted(), 2);
    EXPECT_EQ(m_Lm.Commands().substr(0, 4), Bytes({5, 12, 5, 12}));
    EXPECT_EQ(capture.Count("CheckPrinterState start error 1!"), 1u);
    EXPECT_EQ(capture.Count("SOCKET_API: Connection closed."), 1u);
}

TEST_F(WorkerTest, WithoutAPortTheWorkerNeverConnects)
{
    DebugCapture capture;
    m_Registry.Remove(L"TCPPort");
    AnswerPolling();
    StartWorker();
    m_pWorker->SetActive(true);
    const std::string failed = "mrvUpdate::ThreadProc: Connection failed, try to start language monitor.\n";
    ASSERT_TRUE(PumpUntil([&] { return capture.Count(failed) >= 3; }));
    EXPECT_EQ(m_Lm.Accepted(), 0);
    EXPECT_TRUE(m_Window.Messages().empty());
    EXPECT_EQ(capture.Count("mrvUpdate::ThreadProc\n"), 0u); // an empty printer list: no start attempt

    // The port is read before every attempt.
    m_Registry.SetTcpPort(m_Lm.Port());
    ASSERT_TRUE(PumpUntil([&] { return Posted(mrvWM_INK_LEVEL) >= 1; }));
    EXPECT_EQ(m_Lm.Accepted(), 1);
}

TEST_F(WorkerTest, LogsAreWrittenByteForByte)
{
    DebugCapture capture;
    const std::string full = LogBody(kLogLength - 2);
    const std::string header = Bytes({0x84, 0x00});
    const std::string thousand = full.substr(0, 1000);
    // Short logs end 5 s after their last byte: each has its own monitor,
    // window and worker so that they wait side by side.
    struct Rig {
        FakeLanguageMonitor lm;
        PostRecorder window;
        mrvPrinter printer{L"Quillor Q1", L"USB001", L"Quillor Driver"};
        mrvUpdate worker{window.Hwnd(), &printer, kCycleMs};
    };
    const struct {
        const wchar_t* file;
        LmReply reply;
        std::string content;
        size_t size;
    } cases[] = {
        {L"full.log",
         LmReply()
             .Then(0, header + full.substr(0, 100000))
             .Then(50, full.substr(100000, 100000))
             .Then(50, full.substr(200000, 100000))
             .Then(50, full.substr(300000)),
         full, kLogLength},
        {L"short.log", LmReply::Answer(header + thousand), thousand, 1002}, // then silence
        {L"code-only.log", LmReply::Answer(Bytes({0x84})), "", 1},
    };
    std::vector<std::unique_ptr<Rig>> rigs;
    for (const auto& c : cases) {
        rigs.emplace_back(new Rig());
        Rig& rig = *rigs.back();
        const std::wstring path = m_Folder.Write(c.file, "older and longer content");
        rig.lm.Queue(4, c.reply);
        m_Registry.SetTcpPort(rig.lm.Port());
        rig.worker.Start(0);
        rig.worker.SetLogFileName(path.c_str());
        rig.worker.RequestLogDownload();
        ASSERT_TRUE(rig.lm.WaitForRequests(1, 3000)); // connected: the next rig may change the port
    }
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (const auto& rig : rigs)
                if (rig->window.Of(mrvWM_LOG_DONE).size() != 1)
                    return false;
            return true;
        },
        10000));
    for (size_t i = 0; i < rigs.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(mrvAPI::mrvUtils::W2M(c.file));
        rigs[i]->worker.Stop(1000);
        EXPECT_EQ(rigs[i]->lm.Requests(), (std::vector<std::string>{Bytes({0x04, 0x00})}));
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(m_Folder.FileName(c.file), bytes));
        EXPECT_EQ(bytes.size(), c.content.size());
        EXPECT_TRUE(bytes == c.content);
        EXPECT_EQ(capture.Count("LANG__ReadFromLANPrinter SaveLog Size " + std::to_string(c.size) + "\n"), 1u);
    }
    // Only the short logs had to wait for the end of their data.
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData Break 2"), 2u);
}

TEST_F(WorkerTest, LogFailuresShowTheirBoxBeforeTheEndIsReported)
{
    DebugCapture capture;
    const struct {
        const char* name;
        std::wstring file;
        LmReply reply;
        bool monitorDown;
        const wchar_t* box;
    } cases[] = {
        {"unwritable path", L"C:\\no-such-folder\\deeper\\printer.log", LmReply::Answer(FullLogAnswer()), false,
         L"Can't open file to write."},
        {"wrong answer code", m_Folder.FileName(L"wrong.log"), LmReply::Answer(FullLogAnswer(0x85)), false,
         L"Internal error, can't download log file."},
        {"language monitor down", m_Folder.FileName(L"down.log"), LmReply::Silence(), true,
         L"Internal error - no connection to language monitor."},
    };
    StartWorker();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_Window.Clear();
        capture.Clear();
        if (c.monitorDown)
            m_Lm.Refuse();
        else
            m_Lm.Queue(4, c.reply);
        std::wstring box;
        qsmtest::DialogDriver closer(L"Error", [&](HWND hBox) -> UINT {
            box = qsmtest::ReadMessageBox(hBox).text;
            return IDOK;
        });
        m_pWorker->SetLogFileName(c.file.c_str());
        m_pWorker->RequestLogDownload();
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
        EXPECT_EQ(box, c.box);
        std::string bytes;
        if (c.file.rfind(L"Z:", 0) != 0) {
            EXPECT_FALSE(ReadFileBytes(c.file, bytes));
        }
        if (c.monitorDown) {
            EXPECT_EQ(capture.Count("mrvUpdate::ThreadProc: Connection failed, try to start language monitor.\n"), 1u);
        }
    }
}

TEST_F(WorkerTest, WindowNeverWaitsAndStopEndsAStalledExchange)
{
    const struct {
        const char* name;
        LmReply reply; // the log answer stalls in its first wait or between chunks
    } cases[] = {
        {"no answer yet", LmReply::Silence()},
        {"answer stalls", LmReply().Then(0, Bytes({0x84, 0x00}) + "part")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DebugCapture capture;
        m_Lm.ClearRequests();
        m_Lm.Queue(4, c.reply);
        StartWorker();
        const std::wstring path = m_Folder.FileName(L"stalled.log");
        m_pWorker->SetLogFileName(path.c_str());
        m_pWorker->RequestLogDownload();
        ASSERT_TRUE(m_Lm.WaitForRequests(1, 3000));
        Sleep(100);

        const ULONGLONG start = GetTickCount64();
        m_pWorker->SetActive(true);
        m_pWorker->SetActive(false);
        m_pWorker->RequestLogDownload();
        m_pWorker->SetLogFileName(path.c_str());
        EXPECT_LT(GetTickCount64() - start, 200u); // a download holds out for minutes

        const DWORD id = m_pWorker->GetThreadId();
        const ULONGLONG stopStart = GetTickCount64();
        m_pWorker->Stop(1000);
        EXPECT_LT(GetTickCount64() - stopStart, 900u);
        EXPECT_EQ(capture.Count("Thread <" + std::to_string(id) + "> termination recognized, stop normal.\n"), 1u);
        EXPECT_EQ(capture.Count("Thread <" + std::to_string(id) + "> does not end, terminate thread.\n"), 0u);
        std::string bytes;
        EXPECT_FALSE(ReadFileBytes(path, bytes)); // no partial log
        m_pWorker.reset();
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
    m_Lm.OnCommand(4, LmReply::Answer(FullLogAnswer()));
    const std::wstring path = m_Folder.FileName(L"index.log");
    for (const auto& c : cases) {
        m_Lm.ClearRequests();
        m_Window.Clear();
        StartWorker(c.printer);
        m_pWorker->SetLogFileName(path.c_str());
        m_pWorker->RequestLogDownload();
        m_pWorker->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return m_Lm.CountCommand(7) >= 2 && Posted(mrvWM_LOG_DONE) == 1; }));
        m_pWorker->Stop(1000);
        const std::vector<std::string> requests = m_Lm.Requests();
        EXPECT_EQ(requests[0], std::string("\x04", 1) + c.index);
        for (const std::string& r : requests)
            EXPECT_EQ(r[1], c.index) << static_cast<int>(r[0]);
    }

    m_Lm.Refuse();
    m_Window.Pump(50);
    m_Window.Clear();
    const std::string failed = "mrvUpdate::ThreadProc: Connection failed, try to start language monitor.\n";
    for (const auto& c : cases) {
        DebugCapture capture;
        StartWorker(c.printer);
        m_pWorker->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return capture.Count(failed) >= 3; }, 10000));
        m_pWorker->Stop(1000);
        // F: a failed attempt, S: the failed start through the spooler, which
        // follows the first attempt (then at most every 10 s) when the printer
        // cannot be opened.
        std::string order;
        for (const std::string& l : capture.Lines())
            order += l == failed ? "F" : l == "mrvUpdate::ThreadProc\n" ? "S" : "";
        for (size_t i = 0; i < order.size(); ++i)
            EXPECT_EQ(order[i], !c.opens && i == 1 ? 'S' : 'F') << order;
    }
    EXPECT_TRUE(m_Window.Messages().empty());
    mrvPrinter::Clear();
}

TEST_F(WorkerTest, HiddenWorkerSleepsUntilItIsWantedAndThenStartsAtOnce)
{
    AnswerPolling();
    // Update time 0: a worker that kept cycling while hidden would spin on a core.
    StartWorker(nullptr, 0);
    HANDLE hThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, m_pWorker->GetThreadId());
    ASSERT_NE(hThread, nullptr);
    auto cpuMs = [hThread] {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(hThread, &created, &exited, &kernel, &user);
        const auto ms = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000; };
        return ms(kernel) + ms(user);
    };
    m_Window.Pump(100);
    const ULONGLONG before = cpuMs();
    m_Window.Pump(1000);
    EXPECT_LT(cpuMs() - before, 100u);
    CloseHandle(hThread);
    EXPECT_EQ(m_Lm.Accepted(), 0);
    m_pWorker->Stop(1000);

    // A long update time does not delay the first cycle after showing.
    StartWorker(nullptr, 10000);
    m_Window.Pump(100);
    m_pWorker->SetActive(true);
    EXPECT_TRUE(m_Lm.WaitForRequests(1, 2000));
}
