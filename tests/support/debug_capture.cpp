#include "debug_capture.h"
#include <algorithm>
#include <mutex>

namespace qsmtest {

namespace {
constexpr DWORD kDbgPrint = 0x40010006; // DBG_PRINTEXCEPTION_C
std::mutex g_Mutex;
std::vector<std::string>* g_pLines = nullptr;
} // namespace

LONG CALLBACK DebugCapture::Handler(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != kDbgPrint || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    std::lock_guard<std::mutex> lock(g_Mutex);
    if (g_pLines && text)
        g_pLines->push_back(text);
    return EXCEPTION_CONTINUE_EXECUTION;
}

DebugCapture::DebugCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_Mutex);
        g_pLines = new std::vector<std::string>();
    }
    m_hHandler = AddVectoredExceptionHandler(1, &DebugCapture::Handler);
}

DebugCapture::~DebugCapture()
{
    RemoveVectoredExceptionHandler(m_hHandler);
    std::lock_guard<std::mutex> lock(g_Mutex);
    delete g_pLines;
    g_pLines = nullptr;
}

std::vector<std::string> DebugCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    return g_pLines ? *g_pLines : std::vector<std::string>();
}

void DebugCapture::Clear()
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    if (g_pLines)
        g_pLines->clear();
}

size_t DebugCapture::Count(const std::string& line) const
{
    const std::vector<std::string> lines = Lines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

size_t DebugCapture::CountContaining(const std::string& part) const
{
    size_t n = 0;
    for (const std::string& l : Lines())
        if (l.find(part) != std::string::npos)
            ++n;
    return n;
}

} // namespace qsmtest
