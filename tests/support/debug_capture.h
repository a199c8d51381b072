#pragma once
#include "win.h"
#include <string>
#include <vector>

namespace qsmtest {

// Records every OutputDebugStringA/W text of the process, from any thread, while
// it exists (a vectored exception handler for DBG_PRINTEXCEPTION_C). One capture
// at a time.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;
    void Clear();
    bool Contains(const std::string& line) const { return Count(line) > 0; }
    size_t Count(const std::string& line) const;
    // Number of captured texts that contain part.
    size_t CountContaining(const std::string& part) const;

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
    void* m_hHandler;
};

} // namespace qsmtest
