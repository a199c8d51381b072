#include "bytes.h"
#include "fake_lm.h"
#include "messages.h"
#include "post_recorder.h"
#include "update.h"
#include <gtest/gtest.h>

using namespace qsmtest;

namespace {

// The worker's exchange operations without its thread.
class ExchangeUpdate : public mrvUpdate {
public:
    using mrvUpdate::mrvUpdate;
    using mrvUpdate::OpenConnection;
};

} // namespace

// The window must see each text as it stood when posted, although the worker
// refills its buffer with the next answer before the window handles the first.
TEST(Exchange, EachPostedTextIsTheWindowsOwnCopy)
{
    PostRecorder window{{mrvWM_MAT_CODE, mrvWM_PRINTJOB, mrvWM_ERROR}, true};
    FakeLanguageMonitor lm;
    ExchangeUpdate worker{window.Hwnd(), nullptr, 1000};
    ASSERT_TRUE(worker.OpenConnection(lm.Port()));
    const std::pair<UINT, std::string> sent[] = {{mrvWM_MAT_CODE, "FIRST-MATERIAL"},
                                                 {mrvWM_PRINTJOB, "job one"},
                                                 {mrvWM_MAT_CODE, "X"},
                                                 {mrvWM_PRINTJOB, std::string(2000, 'j')}};
    for (const auto& s : sent) {
        const bool material = s.first == mrvWM_MAT_CODE;
        lm.QueueNext(LmReply::Answer(Bytes({material ? 0x86 : 0x87, 0x00}) + s.second));
        EXPECT_TRUE(worker.SendRequest(material ? 6 : 7, 0));
    }
    ASSERT_TRUE(window.PumpUntil([&] { return window.Messages().size() == 4; }, 1000));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(window.Messages()[i].message, sent[i].first);
        EXPECT_EQ(window.Messages()[i].text, sent[i].second.substr(0, 1023));
    }
}
