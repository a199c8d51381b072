// Feeds a script of language-monitor answers to successive job and error checks of
// one worker and compares every check with a model written from the check's rules:
// the commands asked for, the diagnostic lines, the persistent state and the
// reported error must all agree.
//
// Script: answers one after another, each a length byte and that many bytes. A check
// that asks after the script has run out gets empty answers, as on a closed connection.
#include "printerstate.h"
#include <algorithm>
#include <cassert>
#include <vector>

namespace {

bool ModelCheck(std::string& lastError, std::string& lastJobId, uint32_t threadId, const mrvExchange& ask,
                const mrvLineSink& out, std::string& record)
{
    const auto clear = [&](const char* line) {
        if (!lastError.empty())
            out(line), lastError.clear();
        return false;
    };
    if (ask(5).size() <= 4)
        return false;
    const std::string driverAnswer = ask(12);
    if (driverAnswer.size() < 2)
        return out("CheckPrinterState start error 1!"), false;
    const std::string driverJob = driverAnswer.substr(2);
    if (driverJob != lastJobId) {
        lastJobId = driverJob;
        lastError.clear();
        out("CheckPrinterState Clear lastError 0");
    }
    const std::string printerAnswer = ask(11);
    if (printerAnswer.size() < 2)
        return out("CheckPrinterState start error 2!"), false;
    const std::string printerJob = printerAnswer.substr(2);
    const std::string head = "CheckPrinterState <" + std::to_string(threadId) + "> ";
    out(head + "JobID Length = " + std::to_string(printerAnswer.size()) + " JobID Printer = " + printerJob +
        " JobID Driver = " + driverJob + "\n");
    if (printerJob != driverJob)
        return clear("CheckPrinterState Clear lastError 2");
    const std::string errorAnswer = ask(10);
    if (errorAnswer.size() < 2)
        return out("CheckPrinterState start error 3!"), false;
    const std::string id = errorAnswer.substr(2, 8);
    out(head + "ERROR Length = " + std::to_string(errorAnswer.size()) + " ERROR ID = " + id + "\n");
    if (id == "00000000")
        return clear("CheckPrinterState Clear lastError 1");
    out("CheckPrinterState error detect ");
    out("CheckPrinterState lastError = " + lastError + " actaulError = " + id + "\n");
    if (id == lastError)
        return false;
    out("CheckPrinterState Error detected!");
    lastError = id;
    record = errorAnswer.substr(2, errorAnswer.find('\0', 2) - 2).substr(0, 1023);
    return true;
}

// What one check of one worker did, as text: commands asked, lines, state and the report.
struct Worker {
    template <class Check> std::string Run(Check check, const std::vector<std::string>& answers)
    {
        std::string done, record = "untouched";
        const mrvExchange ask = [&](uint8_t command) {
            done += std::to_string(command) + ",";
            return next < answers.size() ? answers[next++] : std::string();
        };
        const bool reported = check(lastError, lastJobId, 4711, ask, [&](const std::string& l) { done += l + "|"; }, record);
        return done + lastError + "|" + lastJobId + "|" + std::to_string(reported) + record;
    }

    size_t next = 0;
    std::string lastError, lastJobId;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> answers;
    for (size_t pos = 0; pos < size;) {
        const size_t length = std::min<size_t>(data[pos], size - pos - 1);
        answers.emplace_back(reinterpret_cast<const char*>(data + pos + 1), length);
        pos += 1 + length;
    }
    Worker product, model;
    // Checks until the script has run out, and one more on the "closed connection".
    for (int check = 0; check < 64; ++check) {
        const bool lastCheck = product.next >= answers.size();
        const std::string got = product.Run(RunPrinterStateCheck, answers), want = model.Run(ModelCheck, answers);
        assert(got == want);
        if (lastCheck)
            break;
    }
    return 0;
}
