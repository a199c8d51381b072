#pragma once
#include "win.h"
#include <string>

namespace mrvAPI {

// A named, re-entrant critical section. The name is for identification only.
class mrvCriticalSection {
public:
    explicit mrvCriticalSection(const std::string& name);
    ~mrvCriticalSection();
    mrvCriticalSection(const mrvCriticalSection&) = delete;
    mrvCriticalSection& operator=(const mrvCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&m_Section); }
    void Leave() { LeaveCriticalSection(&m_Section); }
    bool TryEnter() { return TryEnterCriticalSection(&m_Section) != FALSE; }
    const std::string& GetName() const { return m_Name; }

private:
    std::string m_Name;
    CRITICAL_SECTION m_Section;
};

// Scoped guard: enters on construction, leaves on destruction.
class mrvLock {
public:
    explicit mrvLock(mrvCriticalSection* pCS);
    ~mrvLock() { m_pCS->Leave(); }
    mrvLock(const mrvLock&) = delete;
    mrvLock& operator=(const mrvLock&) = delete;

private:
    mrvCriticalSection* m_pCS;
};

} // namespace mrvAPI
