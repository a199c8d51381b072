#pragma once
#include "win.h"
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace qsmtest {

// Lines that contain part.
inline size_t CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

// Records every OutputDebugStringA/W text of the process, from any thread, while
// it exists (a vectored exception handler for DBG_PRINTEXCEPTION_C). One capture
// at a time.
class DebugCapture {
public:
    DebugCapture()
    {
        Clear();
        m_hHandler = AddVectoredExceptionHandler(1, &Handler);
    }
    ~DebugCapture() { RemoveVectoredExceptionHandler(m_hHandler); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        return s_Lines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        s_Lines.clear();
    }
    bool Contains(const std::string& line) const { return Count(line) > 0; }
    size_t Count(const std::string& line) const
    {
        const std::vector<std::string> lines = Lines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    size_t CountContaining(const std::string& part) const { return qsmtest::CountContaining(Lines(), part); }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode != 0x40010006 || record->NumberParameters < 2) // DBG_PRINTEXCEPTION_C
            return EXCEPTION_CONTINUE_SEARCH;
        std::lock_guard<std::mutex> lock(s_Mutex);
        if (record->ExceptionInformation[1])
            s_Lines.push_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline std::mutex s_Mutex;
    static inline std::vector<std::string> s_Lines;
    void* m_hHandler;
};

} // namespace qsmtest
