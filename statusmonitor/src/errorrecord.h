#pragma once
#include <string>

// An error record as the worker posts it: eight characters of error code, then
// the text with every UTF-16 code unit written as four hexadecimal digits.
// Kept free of Windows headers so it can be tested and fuzzed on its own.
struct ErrorRecord {
    std::string code;    // the first eight characters
    std::u16string text; // decoded; a group that is not hexadecimal gives U+FFFD
};

// False for a record shorter than nine characters (dropped without a message).
// A last group of fewer than four characters is ignored.
bool DecodeErrorRecord(const std::string& record, ErrorRecord& out);
