#pragma once
#include <initializer_list>
#include <string>

namespace qsmtest {

// A byte string from numbers: wire answers are full of zero and high bytes.
inline std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

// Log bytes with zero bytes, line feeds, carriage returns and Ctrl+Z among them,
// which a text-mode write would change.
inline std::string LogBody(size_t size)
{
    std::string body;
    for (size_t i = 0; body.size() < size; ++i)
        body += static_cast<char>(i % 7 == 0 ? 0 : i % 11 == 0 ? '\n' : i % 13 == 0 ? '\r' : i % 17 == 0 ? 0x1A : 'a' + i % 26);
    return body;
}

} // namespace qsmtest
