#include "answerer.h"

namespace bench {

namespace {

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

lmserver::Server::Options OneThreadUnlogged()
{
    lmserver::Server::Options options;
    options.logRequests = false;
    options.oneThread = true;
    return options;
}

std::string LogAnswer()
{
    std::string log = Bytes({0x84, 0x00});
    for (uint32_t i = 0; log.size() < Answerer::kLogAnswerBytes; ++i)
        log += static_cast<char>(i % 251);
    return log;
}

} // namespace

Answerer::Answerer()
    : m_Log(LogAnswer()),
      m_Server(
          [this](unsigned) {
              return [this](uint8_t command, uint8_t) {
                  return m_Stalled ? lmserver::Reply::Silence() : lmserver::Reply::Answer(AnswerTo(command));
              };
          },
          OneThreadUnlogged())
{
}

std::string Answerer::AnswerTo(uint8_t command) const
{
    switch (command) {
    case 1: return Bytes({0x81, 0x00, m_Ink.load()});
    case 2: return Bytes({0x82, 0x00, 90});
    case 3: return Bytes({0x83, 0x00, 0x00});
    case 4: return m_Log;
    case 5: return Bytes({0x85, 0x00, 0x01, 0x00, 0x00, 0x00});
    case 6: return Bytes({0x86, 0x00}) + "PLA-7";
    case 7: return Bytes({0x87, 0x00}) + "poster_A2.pdf";
    case 9: return Bytes({0x89, 0x00, 0x2C, 0x01});
    case 10: return Bytes({0x8A, 0x00}) + "00000000";
    case 11:
    case 12: return Bytes({0x80 + command, 0x00}) + "1001";
    default: return Bytes({0x80 + command, 0x00});
    }
}

} // namespace bench
