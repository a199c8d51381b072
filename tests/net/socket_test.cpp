#include "debug_capture.h"
#include "fake_lm.h"
#include "socket.h"
#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <thread>

using namespace qsmtest;

namespace {

const std::string kReq1("\x01\x00", 2);

ULONGLONG Since(ULONGLONG start)
{
    return GetTickCount64() - start;
}

// A connection to a fake language monitor of its own.
struct Link {
    FakeLanguageMonitor lm;
    SocketAPI api;
    bool connected = api.Connect(lm.Port());
};

// Winsock options work only on a live socket of a started Windows Sockets.
bool Alive(SOCKET s)
{
    int type = 0, length = sizeof type;
    return getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0 && type == SOCK_STREAM;
}

} // namespace

// A late answer is a time-out, not a broken connection, and its bytes must not
// be taken for the answer to the next request.
TEST(SocketRequestData, LateAnswerIsATimeOutAndCancelCutsWaitsUntilWithdrawn)
{
    DebugCapture capture;
    Link link;
    ASSERT_TRUE(link.connected);
    link.lm.Queue(1, LmReply().Then(300, "STALE"));
    link.lm.Queue(2, LmReply::Answer("FRESH"));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(link.api.SocketRequestData(kReq1, 100, 0), "");
    EXPECT_GE(Since(start), 90u);
    while (link.lm.LastReplyTime(1) == 0 && Since(start) < 2000)
        Sleep(5);
    Sleep(50);
    EXPECT_EQ(link.api.SocketRequestData(std::string("\x02\x00", 2), 1000, 0), "FRESH");
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"SocketAPI::SocketRequestData 5 < 0\n"}));
    // Seen once, a cancel ends every later wait at once, not after a slice of it, until
    // the event is reset (the worker started again): then waits are whole again.
    const mrvAPI::mrvKernelHandle hCancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    link.api.SetCancelEvent(hCancel.Get());
    ULONGLONG cut = GetTickCount64();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(link.api.SocketRequestData(kReq1, 1000, 0), "");
    EXPECT_LT(Since(cut), 150u);
    ResetEvent(hCancel.Get());
    cut = GetTickCount64();
    EXPECT_EQ(link.api.SocketRequestData(kReq1, 300, 0), "");
    EXPECT_GE(Since(cut), 290u);
    EXPECT_FALSE(link.api.HasError());
}

// The cases run side by side so that the whole group takes about 5 s.
TEST(SocketRequestData, BurstsSlowPeersClosesAndCancelledWaits)
{
    DebugCapture capture;
    const std::string half(2500, 'h');
    const mrvAPI::mrvKernelHandle hLate(CreateEventW(nullptr, TRUE, FALSE, nullptr)); // set while they wait
    const mrvAPI::mrvKernelHandle hEarly(CreateEventW(nullptr, TRUE, TRUE, nullptr)); // set before they start
    struct Case {
        LmReply reply;
        int32_t timeout;
        uint32_t expected;
        HANDLE hCancel;
        std::string answer;
        ULONGLONG minMs, maxMs;
        bool error;
        std::string got = "unset";
        ULONGLONG elapsed = 0;
        bool gotError = false;
    } cases[] = {
        // Full 1024-byte chunks followed by nothing must not wait for more.
        {LmReply::Answer(std::string(2048, 'x')), 1000, 0, nullptr, std::string(2048, 'x'), 0, 900, false},
        {LmReply::Answer(std::string(1024, 'y')), 1000, 0, nullptr, std::string(1024, 'y'), 0, 900, false},
        {LmReply().Then(0, half).Then(2000, half), 1000, 4096, nullptr, half + half, 1900, 4000, false},
        {LmReply().Then(0, "abc"), 1000, 100, nullptr, "abc", 4900, 7000, false}, // less than expected
        // A peer close discards what came and breaks the connection.
        {LmReply::Hangup(), 1000, 0, nullptr, "", 0, 1000, true},
        {LmReply().Then(0, "abcd").AndClose(), 1000, 100, nullptr, "", 0, 1000, true},
        // A cancelled wait ends as "nothing ready": at once, and without a broken connection.
        {LmReply::Silence(), 180000, 0, hLate.Get(), "", 0, 1000, false},
        {LmReply().Then(0, "abc"), 1000, 100, hLate.Get(), "abc", 0, 1000, false},
        {LmReply::Silence(), 180000, 0, hEarly.Get(), "", 0, 500, false},
    };
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<Link>> links;
    for (Case& c : cases) {
        links.emplace_back(new Link());
        threads.emplace_back([&c, &link = *links.back()] {
            link.api.SetCancelEvent(c.hCancel);
            link.lm.Queue(1, c.reply);
            const ULONGLONG start = GetTickCount64();
            c.got = link.api.SocketRequestData(kReq1, c.timeout, c.expected);
            c.elapsed = Since(start);
            c.gotError = link.api.HasError();
        });
    }
    // The late cancel comes once the waits it cuts have begun and their bytes are in.
    for (size_t i = 0; i < links.size(); ++i) {
        EXPECT_TRUE(links[i]->connected);
        if (cases[i].hCancel == hLate.Get()) {
            EXPECT_TRUE(links[i]->lm.WaitForRequests(1, 5000));
            const ULONGLONG start = GetTickCount64();
            while (!cases[i].reply.bursts.empty() && links[i]->lm.LastReplyTime(1) == 0 && Since(start) < 5000)
                Sleep(5);
        }
    }
    Sleep(100);
    SetEvent(hLate.Get());
    for (std::thread& t : threads)
        t.join();
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(c.got, c.answer);
        EXPECT_EQ(c.gotError, c.error);
        EXPECT_GE(c.elapsed, c.minMs);
        EXPECT_LT(c.elapsed, c.maxMs);
    }
    const std::pair<const char*, size_t> lines[] = {
        {"SocketAPI::SocketRequestData 2048 < 0\n", 1},    {"SocketAPI::SocketRequestData 1024 < 0\n", 1},
        {"SocketAPI::SocketRequestData 2500 < 4096\n", 1}, {"SocketAPI::SocketRequestData 5000 < 4096\n", 1},
        {"SocketAPI::SocketRequestData 3 < 100\n", 2},     {"SocketAPI::SocketRequestData 4 < 100\n", 1},
        {"SocketAPI::SocketRequestData Break 2", 2}, // both short of 100 bytes
        {"SocketAPI::SocketRequestData Break 1", 2}, // both closes
    };
    for (const auto& l : lines)
        EXPECT_EQ(capture.Count(l.first), l.second) << l.first;
    EXPECT_EQ(capture.Lines().size(), 11u);
}

// Windows Sockets start with the first socket and end with the last; a handle is
// closed exactly once, by its owner; a connection follows the listener.
TEST(Socket, LifetimeOfWindowsSocketsHandlesAndConnections)
{
    DebugCapture capture;
    ASSERT_EQ(Socket::GetLiveCount(), 0);
    {
        Socket first;
        const SOCKET handle = first.GetHandle();
        {
            SocketClient second;
            Socket copy(first);
            EXPECT_EQ(Socket::GetLiveCount(), 3);
            EXPECT_EQ(copy.GetHandle(), handle);
        }
        EXPECT_EQ(Socket::GetLiveCount(), 1);
        EXPECT_TRUE(Alive(handle)); // a released copy leaves it open
        EXPECT_EQ(first.CloseHandleNow(), 0);
        EXPECT_EQ(first.GetHandle(), INVALID_SOCKET);
        EXPECT_EQ(first.CloseHandleNow(), 0);
    }
    {
        Link link;
        ASSERT_TRUE(link.connected);
        EXPECT_FALSE(link.api.HasError());
        EXPECT_EQ(link.api.Close(), 0);
        EXPECT_EQ(link.api.Close(), 0);
        // A closed connection answers nothing and is broken, without touching the old handle.
        EXPECT_EQ(link.api.SocketRequestData(kReq1, 100, 0), "");
        EXPECT_TRUE(link.api.HasError());
        EXPECT_TRUE(link.lm.WaitForClosed(1, 2000));
        link.lm.Refuse();
        SocketAPI refused;
        EXPECT_FALSE(refused.Connect(link.lm.Port()));
        EXPECT_EQ(link.lm.Accepted(), 1);
    }
    EXPECT_EQ(capture.Lines(), std::vector<std::string>());
    EXPECT_EQ(Socket::GetLiveCount(), 0);
    const SOCKET raw = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    if (raw != INVALID_SOCKET)
        closesocket(raw);
    EXPECT_EQ(raw, INVALID_SOCKET);
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
                    dead += !Alive(client.GetHandle());
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
