#include "lock.h"
#include "exception.h"

namespace mrvAPI {

mrvCriticalSection::mrvCriticalSection(const std::string& name) : m_Name(name)
{
    InitializeCriticalSection(&m_Section);
}

mrvCriticalSection::~mrvCriticalSection()
{
    DeleteCriticalSection(&m_Section);
}

mrvLock::mrvLock(mrvCriticalSection* pCS) : m_pCS(pCS)
{
    if (!pCS)
        ThrowNullPointer("pCS", "mrvAPI::mrvLock::mrvLock", "baseapi\\inc\\lock", __LINE__);
    m_pCS->Enter();
}

} // namespace mrvAPI
