#include "bytes.h"
#include "debug_capture.h"
#include "fake_lm.h"
#include "messages.h"
#include "post_recorder.h"
#include "socket.h"
#include "update.h"
#include <gtest/gtest.h>

using qsmtest::Bytes;
using qsmtest::DebugCapture;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;
using qsmtest::PostRecorder;

namespace {

// The worker's exchange operations without its thread, connected to a fake monitor.
class ExchangeUpdate : public mrvUpdate {
public:
    using mrvUpdate::mrvUpdate;
    using mrvUpdate::GetConnection;
    using mrvUpdate::OpenConnection;
};

class Exchange : public ::testing::Test {
protected:
    PostRecorder m_Window{{mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true};
    FakeLanguageMonitor m_Lm;
    ExchangeUpdate m_Worker{m_Window.Hwnd(), nullptr, 1000};
};

} // namespace

TEST(BuildRequest, CommandIndexAndPayload)
{
    EXPECT_EQ(mrvUpdate::BuildRequest(9, 3), Bytes({0x09, 0x03}));
    EXPECT_EQ(mrvUpdate::BuildRequest(4, 0x1FF), Bytes({0x04, 0xFF})); // low 8 bits only
    EXPECT_EQ(mrvUpdate::BuildRequest(5, 0x102, std::string("x\0y", 3)), Bytes({0x05, 0x02, 'x', 0x00, 'y'}));
}

// Decoding has its own table; this proves what the worker does with a decoded answer.
TEST_F(Exchange, SendRequestPostsTheDecodedAnswer)
{
    ASSERT_TRUE(m_Worker.OpenConnection(m_Lm.Port()));
    const struct {
        BYTE command;
        std::string answer;
        bool result;
        UINT posted; // 0: nothing
        WPARAM wParam;
        const char* extraLine;
    } cases[] = {
        {1, Bytes({0x81, 0x00, 0xFF}), true, mrvWM_INK_LEVEL, 255, nullptr},
        {3, Bytes({0x83, 0x00, 0x00}), true, 0, 0, nullptr},
        {3, Bytes({0x83, 0x00, 0x07}), true, mrvWM_STATUS, 7, "SOCKET_API: SOCKET_ANSWER_INFO: \x07\n"},
        {9, Bytes({0x89, 0x00}), false, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.answer));
        DebugCapture capture;
        m_Window.Clear();
        m_Lm.ClearRequests();
        m_Lm.QueueNext(LmReply::Answer(c.answer));
        EXPECT_EQ(m_Worker.SendRequest(c.command, 1), c.result);
        EXPECT_EQ(m_Lm.Requests(), (std::vector<std::string>{Bytes({c.command, 0x01})}));
        std::vector<std::string> lines{"SocketAPI::SocketRequestData " + std::to_string(c.answer.size()) + " < 0\n"};
        if (c.extraLine)
            lines.push_back(c.extraLine);
        EXPECT_EQ(capture.Lines(), lines);
        m_Window.Pump(20);
        ASSERT_EQ(m_Window.Messages().size(), c.posted ? 1u : 0u);
        if (c.posted) {
            EXPECT_EQ(m_Window.Messages()[0].message, c.posted);
            EXPECT_EQ(m_Window.Messages()[0].wParam, c.wParam);
        }
    }
    ASSERT_NE(m_Worker.GetConnection(), nullptr);
    EXPECT_FALSE(m_Worker.GetConnection()->HasError());
}

TEST_F(Exchange, NoAnswerIsAFailureOnAnOpenConnection)
{
    EXPECT_FALSE(m_Worker.SendRequest(1, 0)); // not connected: nothing is sent
    ASSERT_TRUE(m_Worker.OpenConnection(m_Lm.Port()));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(m_Worker.SendRequest(1, 0));
    EXPECT_GE(GetTickCount64() - start, 950u);
    ASSERT_NE(m_Worker.GetConnection(), nullptr);
    EXPECT_FALSE(m_Worker.GetConnection()->HasError());
    m_Window.Pump(20);
    EXPECT_TRUE(m_Window.Messages().empty());
    EXPECT_EQ(m_Lm.Requests().size(), 1u);
}

TEST_F(Exchange, PeerCloseReleasesTheConnection)
{
    DebugCapture capture;
    ASSERT_TRUE(m_Worker.OpenConnection(m_Lm.Port()));
    m_Lm.QueueNext(LmReply::Hangup());
    EXPECT_FALSE(m_Worker.SendRequest(2, 0));
    EXPECT_EQ(m_Worker.GetConnection(), nullptr);
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"SocketAPI::SocketRequestData Break 1", "SOCKET_API: Connection closed."}));
    EXPECT_FALSE(m_Worker.SendRequest(3, 0));
    EXPECT_EQ(m_Lm.Requests().size(), 1u);
}

// The window must see each text as it stood when posted, although the worker
// refills its buffer with the next answer before the window handles the first.
TEST_F(Exchange, EachPostedTextIsTheWindowsOwnCopy)
{
    ASSERT_TRUE(m_Worker.OpenConnection(m_Lm.Port()));
    const std::pair<UINT, std::string> sent[] = {{mrvWM_MAT_CODE, "FIRST-MATERIAL"},
                                                 {mrvWM_PRINTJOB, "job one"},
                                                 {mrvWM_MAT_CODE, "X"},
                                                 {mrvWM_PRINTJOB, std::string(2000, 'j')}};
    for (const auto& s : sent) {
        m_Lm.QueueNext(LmReply::Answer(Bytes({s.first == mrvWM_MAT_CODE ? 0x86 : 0x87, 0x00}) + s.second));
        EXPECT_TRUE(m_Worker.SendRequest(s.first == mrvWM_MAT_CODE ? 6 : 7, 0));
    }
    ASSERT_TRUE(m_Window.PumpUntil([&] { return m_Window.Messages().size() == 4; }, 1000));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m_Window.Messages()[i].message, sent[i].first);
        EXPECT_EQ(m_Window.Messages()[i].text, sent[i].second.substr(0, 1023));
    }
}
