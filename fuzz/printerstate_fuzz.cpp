// Feeds a script of language-monitor answers to successive job and error checks of
// one worker and compares every check with a model written from the check's rules:
// the commands asked for, the diagnostic lines, the persistent state and the
// reported error must all agree.
//
// Script: answers one after another, each a length byte and that many bytes
// (length 255: the next two bytes give the length, low byte first). A check that
// asks after the script has run out gets empty answers, as on a closed connection.
#include "printerstate.h"
#include "support/check.h"
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr uint32_t kThreadId = 4711;
constexpr int kMaxChecks = 64;

// The script's answers in order.
std::vector<std::string> Answers(const uint8_t* data, size_t size)
{
    std::vector<std::string> answers;
    for (size_t pos = 0; pos < size;) {
        size_t length = data[pos++];
        if (length == 255) {
            length = pos < size ? data[pos++] : 0;
            length |= (pos < size ? data[pos++] : 0) << 8;
        }
        length = std::min(length, size - pos);
        answers.emplace_back(reinterpret_cast<const char*>(data + pos), length);
        pos += length;
    }
    return answers;
}

struct Outcome {
    std::vector<uint8_t> commands;
    std::vector<std::string> lines;
    std::string lastError;
    std::string lastJobId;
    bool reported = false;
    std::string errorRecord;
};

// The worker's state machine as its rules state it.
class Model {
public:
    explicit Model(const std::vector<std::string>& answers) : m_Answers(answers) {}

    void Check(Outcome& o)
    {
        const std::string gate = Ask(o, 5);
        if (gate.size() <= 4)
            return;
        const std::string driverAnswer = Ask(o, 12);
        if (driverAnswer.size() < 2)
            return o.lines.push_back("CheckPrinterState start error 1!");
        const std::string driverJob = driverAnswer.substr(2);
        if (driverJob != o.lastJobId) {
            o.lastJobId = driverJob;
            o.lastError = "";
            o.lines.push_back("CheckPrinterState Clear lastError 0");
        }
        const std::string printerAnswer = Ask(o, 11);
        if (printerAnswer.size() < 2)
            return o.lines.push_back("CheckPrinterState start error 2!");
        const std::string printerJob = printerAnswer.substr(2);
        o.lines.push_back("CheckPrinterState <4711> JobID Length = " + std::to_string(printerAnswer.size()) +
                          " JobID Printer = " + printerJob + " JobID Driver = " + driverJob + "\n");
        if (printerJob != driverJob)
            return Clear(o, "CheckPrinterState Clear lastError 2");
        const std::string errorAnswer = Ask(o, 10);
        if (errorAnswer.size() < 2)
            return o.lines.push_back("CheckPrinterState start error 3!");
        const std::string id = errorAnswer.substr(2, 8);
        o.lines.push_back("CheckPrinterState <4711> ERROR Length = " + std::to_string(errorAnswer.size()) +
                          " ERROR ID = " + id + "\n");
        if (id == "00000000")
            return Clear(o, "CheckPrinterState Clear lastError 1");
        o.lines.push_back("CheckPrinterState error detect ");
        o.lines.push_back("CheckPrinterState lastError = " + o.lastError + " actaulError = " + id + "\n");
        if (id == o.lastError)
            return;
        o.lines.push_back("CheckPrinterState Error detected!");
        o.lastError = id;
        o.reported = true;
        std::string record = errorAnswer.substr(2);
        record = record.substr(0, record.find('\0'));
        o.errorRecord = record.substr(0, 1023);
    }

private:
    std::string Ask(Outcome& o, uint8_t command)
    {
        o.commands.push_back(command);
        return m_Next < m_Answers.size() ? m_Answers[m_Next++] : std::string();
    }

    static void Clear(Outcome& o, const char* line)
    {
        if (o.lastError.empty())
            return;
        o.lines.push_back(line);
        o.lastError.clear();
    }

    const std::vector<std::string>& m_Answers;
    size_t m_Next = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> answers = Answers(data, size);

    Model model(answers);
    Outcome expected;
    std::string lastError;
    std::string lastJobId;
    size_t next = 0;
    // Checks until the script has run out, and one more on the "closed connection".
    for (int check = 0; check < kMaxChecks; ++check) {
        const bool lastCheck = next >= answers.size();
        Outcome actual;
        const mrvExchange exchange = [&](uint8_t command) {
            actual.commands.push_back(command);
            return next < answers.size() ? answers[next++] : std::string();
        };
        const mrvLineSink debugOut = [&](const std::string& line) { actual.lines.push_back(line); };
        std::string errorRecord = "untouched";
        actual.reported = RunPrinterStateCheck(lastError, lastJobId, kThreadId, exchange, debugOut, errorRecord);

        expected.commands.clear();
        expected.lines.clear();
        expected.reported = false;
        model.Check(expected);

        FUZZ_CHECK(actual.commands == expected.commands);
        FUZZ_CHECK(actual.lines == expected.lines);
        FUZZ_CHECK(lastError == expected.lastError);
        FUZZ_CHECK(lastJobId == expected.lastJobId);
        FUZZ_CHECK(actual.reported == expected.reported);
        if (actual.reported) {
            FUZZ_CHECK(errorRecord == expected.errorRecord);
            FUZZ_CHECK(errorRecord.size() <= 1023 && errorRecord.find('\0') == std::string::npos);
            // A reported error is never the "no error" ID, and its record starts with
            // the ID that the state now holds (as far as no zero byte cut the record).
            const size_t common = std::min(errorRecord.size(), lastError.size());
            FUZZ_CHECK(lastError != "00000000" && errorRecord.compare(0, common, lastError, 0, common) == 0);
        } else {
            FUZZ_CHECK(errorRecord == "untouched");
        }
        if (lastCheck)
            break;
    }
    return 0;
}
