#include "debug_capture.h"
#include "fake_lm.h"
#include "socket.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>

using qsmtest::DebugCapture;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;

namespace {

const std::string kReq1("\x01\x00", 2);
const std::string kReq2("\x02\x00", 2);

ULONGLONG Since(ULONGLONG start)
{
    return GetTickCount64() - start;
}

// A connection to a fake language monitor of its own.
struct Link {
    FakeLanguageMonitor lm;
    SocketAPI api;
    bool connected;
    Link() : connected(api.Connect(lm.Port())) {}
};

// Winsock options work only on a live socket of a started Windows Sockets.
bool Alive(SOCKET s)
{
    int type = 0;
    int length = sizeof type;
    return getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0 && type == SOCK_STREAM;
}

} // namespace

TEST(SocketRequestData, DropsStaleBytesOfAnAbandonedAnswer)
{
    Link link;
    ASSERT_TRUE(link.connected);
    link.lm.Queue(1, LmReply().Then(300, "STALE"));
    link.lm.Queue(2, LmReply::Answer("FRESH"));

    EXPECT_EQ(link.api.SocketRequestData(kReq1, 100, 0), "");
    ASSERT_TRUE(link.lm.WaitForRequests(1, 1000));
    // Let the late answer arrive before the next request.
    const ULONGLONG start = GetTickCount64();
    while (link.lm.ReplyTimes().empty() && Since(start) < 2000)
        Sleep(5);
    Sleep(50);

    EXPECT_EQ(link.api.SocketRequestData(kReq2, 1000, 0), "FRESH");
    EXPECT_FALSE(link.api.HasError());
    EXPECT_EQ(link.lm.Requests(), (std::vector<std::string>{kReq1, kReq2}));
}

TEST(SocketRequestData, SilenceIsATimeOutNotABrokenConnection)
{
    DebugCapture capture;
    Link link;
    ASSERT_TRUE(link.connected);
    link.lm.OnCommand(1, LmReply::Silence());
    link.lm.OnCommand(2, LmReply::Answer("ok"));

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(link.api.SocketRequestData(kReq1, 300, 0), "");
    const ULONGLONG elapsed = Since(start);
    EXPECT_GE(elapsed, 280u);
    EXPECT_LT(elapsed, 1500u);
    EXPECT_FALSE(link.api.HasError());

    EXPECT_EQ(link.api.SocketRequestData(kReq2, 1000, 0), "ok");
    EXPECT_FALSE(link.api.HasError());
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"SocketAPI::SocketRequestData 2 < 0\n"}));
}

TEST(SocketRequestData, PeerCloseDiscardsTheAnswerAndSetsTheErrorFlag)
{
    const struct {
        const char* name;
        LmReply reply;
        uint32_t expected;
        std::vector<std::string> lines;
    } cases[] = {
        {"close at once", LmReply::Hangup(), 0, {"SocketAPI::SocketRequestData Break 1"}},
        {"close after part of the answer", LmReply().Then(0, "abc").AndClose(), 100,
         {"SocketAPI::SocketRequestData 3 < 100\n", "SocketAPI::SocketRequestData Break 1"}},
    };
    for (const auto& c : cases) {
        DebugCapture capture;
        Link link;
        ASSERT_TRUE(link.connected) << c.name;
        link.lm.Queue(1, c.reply);
        EXPECT_EQ(link.api.SocketRequestData(kReq1, 1000, c.expected), "") << c.name;
        EXPECT_TRUE(link.api.HasError()) << c.name;
        EXPECT_EQ(capture.Lines(), c.lines) << c.name;
    }
}

TEST(SocketRequestData, AnswerInOneBurstIsReadWholeWithoutBlocking)
{
    // Full 1024-byte chunks followed by nothing must not wait for more.
    for (size_t size : {3000u, 2048u, 1024u, 1u}) {
        DebugCapture capture;
        Link link;
        ASSERT_TRUE(link.connected);
        const std::string bytes(size, 'x');
        link.lm.Queue(1, LmReply::Answer(bytes));
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(link.api.SocketRequestData(kReq1, 1000, 0), bytes) << size;
        EXPECT_LT(Since(start), 900u) << size;
        EXPECT_FALSE(link.api.HasError());
        EXPECT_EQ(capture.Lines(),
                  (std::vector<std::string>{"SocketAPI::SocketRequestData " + std::to_string(size) + " < 0\n"}));
    }
}

// The slow cases run side by side so that the whole group takes about 5 s.
TEST(SocketRequestData, SlowPeersAndCancelledWaits)
{
    DebugCapture capture;
    struct Outcome {
        std::string answer;
        bool error = true;
        ULONGLONG elapsed = 0;
    };
    Outcome twoBursts, partial, cancelFirst, cancelMore, preCancelled;
    HANDLE hCancel1 = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hCancel2 = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hCancel3 = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const std::string half(2500, 'h');

    auto run = [](Outcome& out, const LmReply& reply, int32_t timeout, uint32_t expected, HANDLE hCancel) {
        Link link;
        if (!link.connected)
            return;
        link.api.SetCancelEvent(hCancel);
        link.lm.Queue(1, reply);
        const ULONGLONG start = GetTickCount64();
        out.answer = link.api.SocketRequestData(kReq1, timeout, expected);
        out.elapsed = Since(start);
        out.error = link.api.HasError();
    };
    std::vector<std::thread> threads;
    threads.emplace_back(run, std::ref(twoBursts), LmReply().Then(0, half).Then(2000, half), 1000, 4096, nullptr);
    threads.emplace_back(run, std::ref(partial), LmReply().Then(0, "abc"), 1000, 100, nullptr);
    threads.emplace_back(run, std::ref(cancelFirst), LmReply::Silence(), 180000, 0, hCancel1);
    threads.emplace_back(run, std::ref(cancelMore), LmReply().Then(0, "abc"), 1000, 100, hCancel2);
    threads.emplace_back(run, std::ref(preCancelled), LmReply::Silence(), 180000, 0, hCancel3);
    Sleep(300);
    SetEvent(hCancel1);
    SetEvent(hCancel2);
    for (std::thread& t : threads)
        t.join();
    CloseHandle(hCancel1);
    CloseHandle(hCancel2);
    CloseHandle(hCancel3);

    EXPECT_EQ(twoBursts.answer, half + half);
    EXPECT_FALSE(twoBursts.error);
    EXPECT_GE(twoBursts.elapsed, 1900u);
    EXPECT_LT(twoBursts.elapsed, 4000u);
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData 2500 < 4096\n"), 1u);
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData 5000 < 4096\n"), 1u);

    EXPECT_EQ(partial.answer, "abc");
    EXPECT_FALSE(partial.error);
    EXPECT_GE(partial.elapsed, 4900u);
    EXPECT_LT(partial.elapsed, 7000u);

    // A cancelled wait ends as "nothing ready": at once, and without a broken connection.
    EXPECT_EQ(cancelFirst.answer, "");
    EXPECT_FALSE(cancelFirst.error);
    EXPECT_LT(cancelFirst.elapsed, 1000u);
    EXPECT_EQ(cancelMore.answer, "abc");
    EXPECT_FALSE(cancelMore.error);
    EXPECT_LT(cancelMore.elapsed, 1000u);
    EXPECT_EQ(preCancelled.answer, "");
    EXPECT_FALSE(preCancelled.error);
    EXPECT_LT(preCancelled.elapsed, 500u);

    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData 3 < 100\n"), 2u);
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData Break 2"), 2u); // partial and cancelMore
    EXPECT_EQ(capture.Count("SocketAPI::SocketRequestData Break 1"), 0u);
}

TEST(Socket, WindowsSocketsStartWithTheFirstAndEndWithTheLast)
{
    ASSERT_EQ(Socket::GetLiveCount(), 0);
    {
        Socket first;
        EXPECT_EQ(Socket::GetLiveCount(), 1);
        {
            SocketClient second;
            Socket copy(first);
            EXPECT_EQ(Socket::GetLiveCount(), 3);
            EXPECT_EQ(copy.GetHandle(), first.GetHandle());
        }
        EXPECT_EQ(Socket::GetLiveCount(), 1);
        EXPECT_TRUE(Alive(first.GetHandle()));
    }
    EXPECT_EQ(Socket::GetLiveCount(), 0);
    const SOCKET raw = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(raw, INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    if (raw != INVALID_SOCKET)
        closesocket(raw);
}

TEST(Socket, ConcurrentWorkersNeverSeeWindowsSocketsCleanedUpUnderThem)
{
    std::atomic<int> dead(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&dead] {
            for (int i = 0; i < 150; ++i) {
                try {
                    SocketClient client;
                    Socket copy(client);
                    if (!Alive(client.GetHandle()))
                        ++dead;
                } catch (const char*) {
                    ++dead;
                }
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(dead.load(), 0);
    EXPECT_EQ(Socket::GetLiveCount(), 0);
}

TEST(Socket, HandleIsClosedExactlyOnce)
{
    DebugCapture capture;
    {
        Socket owner;
        const SOCKET handle = owner.GetHandle();
        {
            Socket copy(owner);
        }
        EXPECT_TRUE(Alive(handle)); // a released copy leaves it open
        EXPECT_EQ(owner.CloseHandleNow(), 0);
        EXPECT_EQ(owner.GetHandle(), INVALID_SOCKET);
        EXPECT_EQ(owner.CloseHandleNow(), 0);
    }
    Link link;
    ASSERT_TRUE(link.connected);
    EXPECT_EQ(link.api.Close(), 0);
    EXPECT_EQ(link.api.Close(), 0);
    // A closed connection answers nothing and is broken, without touching the old handle.
    EXPECT_EQ(link.api.SocketRequestData(kReq1, 100, 0), "");
    EXPECT_TRUE(link.api.HasError());
    EXPECT_TRUE(link.lm.WaitForClosed(1, 2000));
    EXPECT_EQ(capture.Lines(), std::vector<std::string>());
}

TEST(SocketAPI, ConnectFollowsTheListener)
{
    FakeLanguageMonitor lm;
    {
        SocketAPI api;
        EXPECT_TRUE(api.Connect(lm.Port()));
        EXPECT_FALSE(api.HasError());
    }
    EXPECT_TRUE(lm.WaitForClosed(1, 2000));
    EXPECT_EQ(lm.Accepted(), 1);
    lm.Refuse();
    SocketAPI refused;
    EXPECT_FALSE(refused.Connect(lm.Port()));
    EXPECT_EQ(lm.Accepted(), 1);
}
