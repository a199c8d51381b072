#pragma once
#include <string>
#include <vector>

namespace mrvAPI {

// The one exception type of this code base: an HRESULT and the context lines
// of where it was raised. Only WinMain catches it by type.
class mrvException {
public:
    mrvException(long code, const std::string& text, const char* function, const char* file, int line);

    long GetCode() const { return m_Code; }
    const char* GetCodeText() const;
    std::string GetReport(const std::string& separator) const;
    const std::vector<std::string>& GetStack() const { return m_Stack; }

private:
    long m_Code;
    std::vector<std::string> m_Stack;
};

constexpr long mrvE_FAIL = static_cast<long>(0x80004005L);
constexpr long mrvE_POINTER = static_cast<long>(0x80004003L);
constexpr long mrvE_OUTOFMEMORY = static_cast<long>(0x8007000EL);
constexpr long mrvE_INVALIDARG = static_cast<long>(0x80070057L);
constexpr long mrvE_PRINTER_OPEN = static_cast<long>(0xE000F000L);

// "Invalid null pointer parameter <name>." thrown as E_POINTER.
[[noreturn]] void ThrowNullPointer(const char* name, const char* function, const char* file, int line);

} // namespace mrvAPI
