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

} // namespace qsmtest
