#include "temp_folder.h"
#include <gtest/gtest.h>

#include <memory>

namespace qsmtest {

namespace {
struct FindCloser {
    void operator()(HANDLE h) const { FindClose(h); }
};
struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using ScopedFind = std::unique_ptr<void, FindCloser>;
using ScopedHandle = std::unique_ptr<void, HandleCloser>;
} // namespace

TempFolder::TempFolder()
{
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    static LONG s_Counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = std::wstring(base) + L"qsm" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                  std::to_wstring(InterlockedIncrement(&s_Counter));
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            m_Path = path;
            return;
        }
    }
    ADD_FAILURE() << "no temporary folder, error " << GetLastError();
}

TempFolder::~TempFolder()
{
    if (m_Path.empty())
        return;
    WIN32_FIND_DATAW data;
    HANDLE first = FindFirstFileW((m_Path + L"\\*").c_str(), &data);
    if (first != INVALID_HANDLE_VALUE) {
        ScopedFind find(first);
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(FileName(data.cFileName).c_str());
        } while (FindNextFileW(find.get(), &data));
    }
    RemoveDirectoryW(m_Path.c_str());
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& bytes) const
{
    const std::wstring fileName = FileName(name);
    HANDLE created =
        CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "CreateFileW failed, error " << GetLastError();
        return fileName;
    }
    ScopedHandle file(created);
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        ADD_FAILURE() << "WriteFile failed, error " << GetLastError();
    return fileName;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    ScopedHandle file(opened);
    bytes.clear();
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    return true;
}

} // namespace qsmtest
