#include "exception.h"
#include "buffer.h"
#include <cstdio>
#include <sstream>

namespace mrvAPI {

mrvException::mrvException(long code, const std::string& text, const char* function, const char* file, int line)
    : m_Code(code)
{
    std::ostringstream s;
    s << text << " Caused in <" << function << "()> [" << file << ", " << line << "].";
    m_Stack.push_back(s.str());
}

const char* mrvException::GetCodeText() const
{
    switch (static_cast<unsigned long>(m_Code)) {
    case 0x80004005UL: return "General failure [E_FAIL].";
    case 0x80004003UL: return "Invalid pointer [E_POINTER].";
    case 0x8007000EUL: return "Out of memory [E_OUTOFMEMORY].";
    case 0x80070057UL: return "Invalid parameter [E_INVALIDARG].";
    default: return "No description [???].";
    }
}

std::string mrvException::GetReport(const std::string& separator) const
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(m_Code) & 0xFFFFFFFFUL);
    std::string report = "Exception caused:" + separator;
    report += "Code: " + std::string(code) + separator;
    report += "Text: " + std::string(GetCodeText()) + separator;
    report += "Stack: " + separator;
    for (const std::string& line : m_Stack)
        report += line + separator;
    return report;
}

void ThrowNullPointer(const char* name, const char* function, const char* file, int line)
{
    throw mrvException(mrvE_POINTER, std::string("Invalid null pointer parameter <") + name + ">.", function, file,
                       line);
}

std::string AllocationFailureText(uint64_t bytes)
{
    char text[96];
    std::snprintf(text, sizeof text, "Failed to allocate <%llu, 0x%08llx> bytes of memory.",
                  static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(bytes));
    return text;
}

} // namespace mrvAPI
