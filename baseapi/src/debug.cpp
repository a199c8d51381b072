#include "debug.h"
#include "win.h"

namespace mrvAPI {

void DebugOut(const char* text)
{
    OutputDebugStringA(text);
}

void DebugOutW(const std::wstring& text)
{
    OutputDebugStringW(text.c_str());
}

mrvDebugLine::~mrvDebugLine()
{
    try {
        m_Stream << '\n';
        OutputDebugStringA(m_Stream.str().c_str());
    } catch (...) {
        // A diagnostic line must never take the program down.
    }
}

} // namespace mrvAPI
