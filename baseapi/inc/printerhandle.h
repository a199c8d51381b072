#pragma once
#include "win.h"
#include <winspool.h>
#include <cwchar>
#include <string>

namespace mrvAPI {

// A spooler handle opened by printer name with default access and closed when
// it leaves scope. Get() is null when the printer could not be opened; the
// caller reads GetLastError right after construction.
class mrvPrinterHandle {
public:
    mrvPrinterHandle(const std::wstring& name, size_t bufferLength) : m_hPrinter(nullptr)
    {
        // OpenPrinterW takes a writable name; the callers' buffer sizes cut long names.
        std::wstring buffer(name.substr(0, bufferLength - 1));
        if (!OpenPrinterW(&buffer[0], &m_hPrinter, nullptr))
            m_hPrinter = nullptr;
    }
    ~mrvPrinterHandle()
    {
        if (m_hPrinter)
            ClosePrinter(m_hPrinter);
    }
    mrvPrinterHandle(const mrvPrinterHandle&) = delete;
    mrvPrinterHandle& operator=(const mrvPrinterHandle&) = delete;

    HANDLE Get() const { return m_hPrinter; }

private:
    HANDLE m_hPrinter;
};

} // namespace mrvAPI
