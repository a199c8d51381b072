#include "printerstate.h"
#include "answer.h"

namespace {

std::string Tail(const std::string& answer)
{
    return answer.size() > 2 ? answer.substr(2) : std::string();
}

std::string Prefix(uint32_t threadId)
{
    return "CheckPrinterState <" + std::to_string(threadId) + ">";
}

} // namespace

bool RunPrinterStateCheck(std::string& lastError, std::string& lastJobId, uint32_t threadId,
                          const mrvExchange& exchange, const mrvLineSink& debugOut, std::string& errorRecord)
{
    if (exchange(mrvCMD_GATE).size() <= 4)
        return false;

    const std::string driverAnswer = exchange(mrvCMD_DRIVER_JOB);
    if (driverAnswer.size() < 2) {
        debugOut("CheckPrinterState start error 1!");
        return false;
    }
    const std::string driverJob = Tail(driverAnswer);
    if (driverJob != lastJobId) {
        // A new job: its errors are new too.
        lastJobId = driverJob;
        lastError.clear();
        debugOut("CheckPrinterState Clear lastError 0");
    }

    const std::string printerAnswer = exchange(mrvCMD_PRINTER_JOB);
    if (printerAnswer.size() < 2) {
        debugOut("CheckPrinterState start error 2!");
        return false;
    }
    const std::string printerJob = Tail(printerAnswer);
    debugOut(Prefix(threadId) + " JobID Length = " + std::to_string(printerAnswer.size()) +
             " JobID Printer = " + printerJob + " JobID Driver = " + driverJob + "\n");
    if (printerJob != driverJob) {
        if (!lastError.empty()) {
            debugOut("CheckPrinterState Clear lastError 2");
            lastError.clear();
        }
        return false;
    }

    const std::string errorAnswer = exchange(mrvCMD_ERROR);
    if (errorAnswer.size() < 2) {
        debugOut("CheckPrinterState start error 3!");
        return false;
    }
    const std::string errorId = errorAnswer.substr(2, 8);
    debugOut(Prefix(threadId) + " ERROR Length = " + std::to_string(errorAnswer.size()) + " ERROR ID = " + errorId +
             "\n");
    if (errorId == "00000000") {
        if (!lastError.empty()) {
            debugOut("CheckPrinterState Clear lastError 1");
            lastError.clear();
        }
        return false;
    }

    debugOut("CheckPrinterState error detect ");
    debugOut("CheckPrinterState lastError = " + lastError + " actaulError = " + errorId + "\n");
    if (errorId == lastError)
        return false; // still the error already reported
    debugOut("CheckPrinterState Error detected!");
    lastError = errorId;
    errorRecord = AnswerText(errorAnswer, 2);
    return true;
}
