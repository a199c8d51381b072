#pragma once
// The job and error check on the language monitor's answers. Pure: the
// exchange and the diagnostic output are handed in, and no Windows header is
// used, so the state machine can be tested and fuzzed without sockets.
#include <cstdint>
#include <functional>
#include <string>

// Commands of the check.
constexpr uint8_t mrvCMD_GATE = 5;
constexpr uint8_t mrvCMD_PRINTER_JOB = 11;
constexpr uint8_t mrvCMD_DRIVER_JOB = 12;
constexpr uint8_t mrvCMD_ERROR = 10;

using mrvExchange = std::function<std::string(uint8_t command)>;
using mrvLineSink = std::function<void(const std::string& line)>;

// One check. lastError and lastJobId are the worker's persistent state. Returns
// true when a new error is to be reported; errorRecord then holds the error
// answer from byte 2 up to its first zero byte (at most 1023 characters).
bool RunPrinterStateCheck(std::string& lastError, std::string& lastJobId, uint32_t threadId,
                          const mrvExchange& exchange, const mrvLineSink& debugOut, std::string& errorRecord);
