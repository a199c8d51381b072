#include "debug_capture.h"
#include "lock.h"
#include <algorithm>

namespace qsmtest {

namespace {
constexpr DWORD kDbgPrint = 0x40010006; // DBG_PRINTEXCEPTION_C
// Not a std::mutex: contended, MinGW's creates a wait event that stays, which the
// soak tests' handle counts would take for a leak.
mrvAPI::mrvCriticalSection g_Lock("debug capture");
std::vector<std::string>* g_pLines = nullptr;
} // namespace

LONG CALLBACK DebugCapture::Handler(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != kDbgPrint || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    mrvAPI::mrvLock lock(&g_Lock);
    if (g_pLines && text)
        g_pLines->push_back(text);
    return EXCEPTION_CONTINUE_EXECUTION;
}

DebugCapture::DebugCapture()
{
    {
        mrvAPI::mrvLock lock(&g_Lock);
        g_pLines = new std::vector<std::string>();
    }
    m_hHandler = AddVectoredExceptionHandler(1, &DebugCapture::Handler);
}

DebugCapture::~DebugCapture()
{
    RemoveVectoredExceptionHandler(m_hHandler);
    mrvAPI::mrvLock lock(&g_Lock);
    delete g_pLines;
    g_pLines = nullptr;
}

std::vector<std::string> DebugCapture::Lines() const
{
    mrvAPI::mrvLock lock(&g_Lock);
    return g_pLines ? *g_pLines : std::vector<std::string>();
}

void DebugCapture::Clear()
{
    mrvAPI::mrvLock lock(&g_Lock);
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
    mrvAPI::mrvLock lock(&g_Lock); // without a copy: the soak tests ask often
    size_t n = 0;
    for (const std::string& l : g_pLines ? *g_pLines : std::vector<std::string>())
        n += l.find(part) != std::string::npos ? 1 : 0;
    return n;
}

} // namespace qsmtest
