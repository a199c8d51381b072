#pragma once
// Decoding of the language monitor's answers to polled requests. Pure: no
// window or socket calls, and no Windows headers, so it can be fuzzed alone.
#include <cstdint>
#include <string>

// The worker's private window messages (equal to the mrvWM_* values of messages.h).
constexpr uint32_t mrvMSG_STATUS = 0x400 + 1000;
constexpr uint32_t mrvMSG_INK_LEVEL = 0x400 + 1001;
constexpr uint32_t mrvMSG_UV_LAMP = 0x400 + 1002;
constexpr uint32_t mrvMSG_NUMBER = 0x400 + 1003;
constexpr uint32_t mrvMSG_MAT_CODE = 0x400 + 1004;
constexpr uint32_t mrvMSG_PRINTJOB = 0x400 + 1005;
constexpr uint32_t mrvMSG_ERROR = 0x400 + 1006;

// Room of the worker's text buffers, terminator included.
constexpr size_t mrvTEXT_BUFFER = 1024;

// What one answer means for the worker.
struct mrvAnswer {
    enum class Post { None, Number, Text };

    bool succeeded = false; // the request counts as successful
    Post post = Post::None;
    uint32_t message = 0;
    uint32_t wParam = 0;    // Post::Number
    std::string text;       // Post::Text: at most 1023 characters, no zero byte
    std::string debugLine;  // written before posting when not empty
};

mrvAnswer DecodeAnswer(const std::string& answer);

// Text from offset on, up to the first zero byte, cut to what a 1024-byte buffer holds.
std::string AnswerText(const std::string& answer, size_t offset);
