#pragma once
#include "exception.h"
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <new>
#include <type_traits>

namespace mrvAPI {

std::string AllocationFailureText(uint64_t bytes);

// Scoped heap array; an allocation failure becomes an E_OUTOFMEMORY mrvException
// naming the code that asked for the buffer.
template <class T>
class mrvBuffer {
public:
    mrvBuffer(uint32_t count, const char* function, const char* file, int line)
        : m_pData(Allocate(count, function, file, line)), m_Count(count) {}

    template <class U = T, class = std::enable_if_t<std::is_same<U, wchar_t>::value>>
    mrvBuffer(const wchar_t* source, const char* function, const char* file, int line)
        : m_pData(nullptr), m_Count(static_cast<uint32_t>(std::wcslen(source) + 1))
    {
        m_pData = Allocate(m_Count, function, file, line);
        std::wmemcpy(m_pData, source, m_Count);
    }

    ~mrvBuffer() { delete[] m_pData; }
    mrvBuffer(const mrvBuffer&) = delete;
    mrvBuffer& operator=(const mrvBuffer&) = delete;

    uint32_t size() const { return m_Count; }
    uint64_t bytes() const { return static_cast<uint64_t>(m_Count) * sizeof(T); }
    T* get() const { return m_pData; }

private:
    static T* Allocate(uint32_t count, const char* function, const char* file, int line)
    {
        try {
            return new T[count]();
        } catch (const std::bad_alloc&) {
            throw mrvException(mrvE_OUTOFMEMORY,
                AllocationFailureText(static_cast<uint64_t>(count) * sizeof(T)), function, file, line);
        }
    }

    T* m_pData;
    uint32_t m_Count;
};

} // namespace mrvAPI
