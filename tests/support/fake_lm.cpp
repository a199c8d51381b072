#include "fake_lm.h"

namespace qsmtest::detail {

LmReply LmScript::Pick(uint8_t command)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto take = [](std::deque<LmReply>& replies) {
        LmReply reply = replies.front();
        replies.pop_front();
        return reply;
    };
    if (!next.empty())
        return take(next);
    auto q = queued.find(command);
    if (q != queued.end() && !q->second.empty())
        return take(q->second);
    auto s = standing.find(command);
    return s != standing.end() ? s->second : LmReply::Silence();
}

} // namespace qsmtest::detail
