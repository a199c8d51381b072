#pragma once
#include "handle.h"
#include <cwchar>
#include <string>

namespace mrvAPI {

// A spooler handle opened by printer name with default access and closed when
// it leaves scope. Get() is null when the printer could not be opened; the
// caller reads GetLastError right after construction.
class mrvPrinterHandle {
public:
    mrvPrinterHandle(const std::wstring& name, size_t bufferLength)
    {
        // OpenPrinterW takes a writable name; the callers' buffer sizes cut long names.
        std::wstring buffer(name.substr(0, bufferLength - 1));
        if (!OpenPrinterW(&buffer[0], m_Handle.Receive(), nullptr))
            m_Handle.Release();
    }

    HANDLE Get() const { return m_Handle.Get(); }

private:
    mrvSpoolerHandle m_Handle;
};

} // namespace mrvAPI
