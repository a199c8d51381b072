#pragma once
#include "win.h"
#include <winspool.h>

namespace mrvAPI {

// Move-only owner of one handle of the kind that Traits describes (its empty
// values and how it is closed). Copying is deleted so nothing is closed twice.
template <class T, class Traits>
class mrvHandle {
public:
    mrvHandle() = default;
    explicit mrvHandle(T handle) : m_Handle(handle) {}
    ~mrvHandle() { Reset(); }
    mrvHandle(const mrvHandle&) = delete;
    mrvHandle& operator=(const mrvHandle&) = delete;
    mrvHandle(mrvHandle&& other) noexcept : m_Handle(other.Release()) {}
    mrvHandle& operator=(mrvHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    T Get() const { return m_Handle; }
    bool IsValid() const { return Traits::IsValid(m_Handle); }
    // For functions that return the handle through a pointer.
    T* Receive()
    {
        Reset();
        return &m_Handle;
    }
    T Release()
    {
        T handle = m_Handle;
        m_Handle = Traits::Empty();
        return handle;
    }
    void Reset(T handle = Traits::Empty())
    {
        if (Traits::IsValid(m_Handle))
            Traits::Close(m_Handle);
        m_Handle = handle;
    }

private:
    T m_Handle = Traits::Empty();
};

// Kernel objects: files (INVALID_HANDLE_VALUE when failed), events, mutexes, threads (null).
struct mrvKernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct mrvRegKeyTraits {
    static HKEY Empty() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct mrvSpoolerHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr; }
    static void Close(HANDLE h) { ClosePrinter(h); }
};

using mrvKernelHandle = mrvHandle<HANDLE, mrvKernelHandleTraits>;
using mrvRegKey = mrvHandle<HKEY, mrvRegKeyTraits>;
using mrvSpoolerHandle = mrvHandle<HANDLE, mrvSpoolerHandleTraits>;

} // namespace mrvAPI
