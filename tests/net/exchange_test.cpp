#include "debug_capture.h"
#include "fake_lm.h"
#include "messages.h"
#include "post_recorder.h"
#include "socket.h"
#include "update.h"
#include <gtest/gtest.h>

using qsmtest::DebugCapture;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;
using qsmtest::PostRecorder;

namespace {

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

// The worker's exchange operations without its thread.
class ExchangeUpdate : public mrvUpdate {
public:
    using mrvUpdate::mrvUpdate;
    using mrvUpdate::GetConnection;
    using mrvUpdate::OpenConnection;
};

struct Expected {
    UINT message;
    WPARAM wParam;
    std::string text;
};

PostRecorder* NewRecorder()
{
    return new PostRecorder({mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true);
}

} // namespace

TEST(BuildRequest, CommandIndexAndPayload)
{
    EXPECT_EQ(mrvUpdate::BuildRequest(1, 0), Bytes({0x01, 0x00}));
    EXPECT_EQ(mrvUpdate::BuildRequest(9, 3), Bytes({0x09, 0x03}));
    EXPECT_EQ(mrvUpdate::BuildRequest(4, 0x1FF), Bytes({0x04, 0xFF})); // low 8 bits only
    EXPECT_EQ(mrvUpdate::BuildRequest(5, 0x102, std::string("x\0y", 3)), Bytes({0x05, 0x02, 'x', 0x00, 'y'}));
}

TEST(SendRequest, DispatchesEveryAnswerCode)
{
    std::unique_ptr<PostRecorder> window(NewRecorder());
    FakeLanguageMonitor lm;
    ExchangeUpdate worker(window->Hwnd(), nullptr, 1000);
    ASSERT_TRUE(worker.OpenConnection(lm.Port()));

    const struct {
        BYTE command;
        std::string answer;
        bool result;
        std::vector<Expected> posted;
        std::vector<std::string> extraLines;
    } cases[] = {
        {1, Bytes({0x81, 0x00, 0x7F}), true, {{mrvWM_INK_LEVEL, 127, ""}}, {}},
        {1, Bytes({0x81, 0x00, 0xFF}), true, {{mrvWM_INK_LEVEL, 255, ""}}, {}},
        {2, Bytes({0x82, 0x00, 0x05}), true, {{mrvWM_UV_LAMP, 5, ""}}, {}},
        {3, Bytes({0x83, 0x00, 0x00}), true, {}, {}},
        {3, Bytes({0x83, 0x00, 0x07}), true, {{mrvWM_STATUS, 7, ""}}, {"SOCKET_API: SOCKET_ANSWER_INFO: \x07\n"}},
        {3, Bytes({0x88, 0x00, 0x07}), true, {{mrvWM_STATUS, 25, ""}}, {}},
        {9, Bytes({0x89, 0x00, 0x2C, 0x01}), true, {{mrvWM_NUMBER, 300, ""}}, {}},
        {9, Bytes({0x89, 0x00, 0x2C}), true, {{mrvWM_NUMBER, 44, ""}}, {}},
        {6, Bytes({0x86, 0x00}) + "PLA-7", true, {{mrvWM_MAT_CODE, 0, "PLA-7"}}, {}},
        {6, Bytes({0x86, 0x00}), true, {{mrvWM_MAT_CODE, 0, ""}}, {}},
        {6, Bytes({0x86, 0x00}) + std::string(2000, 'm'), true, {{mrvWM_MAT_CODE, 0, std::string(1023, 'm')}}, {}},
        {7, Bytes({0x87, 0x00}) + std::string("AB\0CD", 5), true, {{mrvWM_PRINTJOB, 0, "AB"}}, {}},
        {7, Bytes({0x8A, 0x00}), true, {}, {}},
        {2, Bytes({0x85}), true, {}, {}},
        {1, Bytes({0x81, 0x00}), false, {}, {}},
        {3, Bytes({0x83}), false, {}, {}},
        {9, Bytes({0x89, 0x00}), false, {}, {}},
        {6, Bytes({0x86}), false, {}, {}},
        {7, Bytes({0x87}), false, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.answer));
        DebugCapture capture;
        window->Clear();
        lm.ClearRequests();
        lm.QueueNext(LmReply::Answer(c.answer));
        EXPECT_EQ(worker.SendRequest(c.command, 1), c.result);
        EXPECT_EQ(lm.Requests(), (std::vector<std::string>{Bytes({c.command, 0x01})}));

        std::vector<std::string> lines{"SocketAPI::SocketRequestData " + std::to_string(c.answer.size()) + " < 0\n"};
        lines.insert(lines.end(), c.extraLines.begin(), c.extraLines.end());
        EXPECT_EQ(capture.Lines(), lines);

        window->Pump(20);
        ASSERT_EQ(window->Messages().size(), c.posted.size());
        for (size_t i = 0; i < c.posted.size(); ++i) {
            EXPECT_EQ(window->Messages()[i].message, c.posted[i].message);
            EXPECT_EQ(window->Messages()[i].wParam, c.posted[i].wParam);
            EXPECT_EQ(window->Messages()[i].text, c.posted[i].text);
        }
    }
    ASSERT_NE(worker.GetConnection(), nullptr);
    EXPECT_FALSE(worker.GetConnection()->HasError());
}

TEST(SendRequest, NoAnswerIsAFailureOnAnOpenConnection)
{
    std::unique_ptr<PostRecorder> window(NewRecorder());
    FakeLanguageMonitor lm;
    ExchangeUpdate worker(window->Hwnd(), nullptr, 1000);
    EXPECT_FALSE(worker.SendRequest(1, 0)); // not connected: nothing is sent
    ASSERT_TRUE(worker.OpenConnection(lm.Port()));

    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(worker.SendRequest(1, 0));
    EXPECT_GE(GetTickCount64() - start, 950u);
    ASSERT_NE(worker.GetConnection(), nullptr);
    EXPECT_FALSE(worker.GetConnection()->HasError());
    window->Pump(20);
    EXPECT_TRUE(window->Messages().empty());
    EXPECT_EQ(lm.Requests().size(), 1u);
}

TEST(SendRequest, PeerCloseReleasesTheConnection)
{
    DebugCapture capture;
    std::unique_ptr<PostRecorder> window(NewRecorder());
    FakeLanguageMonitor lm;
    ExchangeUpdate worker(window->Hwnd(), nullptr, 1000);
    ASSERT_TRUE(worker.OpenConnection(lm.Port()));
    lm.QueueNext(LmReply::Hangup());

    EXPECT_FALSE(worker.SendRequest(2, 0));
    EXPECT_EQ(worker.GetConnection(), nullptr);
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"SocketAPI::SocketRequestData Break 1", "SOCKET_API: Connection closed."}));
    EXPECT_FALSE(worker.SendRequest(3, 0));
    EXPECT_EQ(lm.Requests().size(), 1u);
}

// The window must see each text as it stood when posted, although the worker
// refills its buffer with the next answer before the window handles the first.
TEST(SendRequest, EachPostedTextIsTheWindowsOwnCopy)
{
    std::unique_ptr<PostRecorder> window(NewRecorder());
    FakeLanguageMonitor lm;
    ExchangeUpdate worker(window->Hwnd(), nullptr, 1000);
    ASSERT_TRUE(worker.OpenConnection(lm.Port()));
    lm.QueueNext(LmReply::Answer(Bytes({0x86, 0x00}) + "FIRST-MATERIAL"));
    lm.QueueNext(LmReply::Answer(Bytes({0x87, 0x00}) + "job one"));
    lm.QueueNext(LmReply::Answer(Bytes({0x86, 0x00}) + "X"));
    lm.QueueNext(LmReply::Answer(Bytes({0x87, 0x00}) + "job two, longer"));

    EXPECT_TRUE(worker.SendRequest(6, 0));
    EXPECT_TRUE(worker.SendRequest(7, 0));
    EXPECT_TRUE(worker.SendRequest(6, 0));
    EXPECT_TRUE(worker.SendRequest(7, 0));
    ASSERT_TRUE(window->PumpUntil([&] { return window->Messages().size() == 4; }, 1000));

    const std::vector<std::pair<UINT, std::string>> expected{{mrvWM_MAT_CODE, "FIRST-MATERIAL"},
                                                             {mrvWM_PRINTJOB, "job one"},
                                                             {mrvWM_MAT_CODE, "X"},
                                                             {mrvWM_PRINTJOB, "job two, longer"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(window->Messages()[i].message, expected[i].first);
        EXPECT_EQ(window->Messages()[i].text, expected[i].second);
    }
}
