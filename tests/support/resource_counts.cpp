#include "resource_counts.h"
#include "handle.h"
#include <tlhelp32.h>
#include <vector>

namespace qsmtest {

int ThreadCount()
{
    const mrvAPI::mrvKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.IsValid())
        return -1;
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    return count;
}

int HandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return static_cast<int>(count);
    // Wine answers 0 there: count this process's entries of the system handle table
    // (NtQuerySystemInformation's SystemHandleInformation, 16).
    struct Entry {
        USHORT processId, creatorBackTraceIndex;
        UCHAR objectType, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; query && attempt < 6; ++attempt, buffer.resize(buffer.size() * 2)) {
        ULONG needed = 0;
        if (query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0)
            continue;
        const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
        const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(PVOID)); // after the aligned count
        int mine = 0;
        for (ULONG i = 0; i < entries; ++i)
            mine += entry[i].processId == static_cast<USHORT>(GetCurrentProcessId()) ? 1 : 0;
        return mine;
    }
    return -1;
}

} // namespace qsmtest
