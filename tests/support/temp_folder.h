#pragma once
#include "win.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace qsmtest {

// A fresh folder below the temporary folder, removed with its files when it goes.
class TempFolder {
public:
    TempFolder()
    {
        // Named by process and count: one of that name can only be left by a process gone.
        static LONG s_Counter = 0;
        std::error_code error;
        const std::wstring name = L"qsm" + std::to_wstring(GetCurrentProcessId()) + L"_";
        const auto path = std::filesystem::temp_directory_path(error) / (name + std::to_wstring(InterlockedIncrement(&s_Counter)));
        std::filesystem::remove_all(path, error);
        if (std::filesystem::create_directory(path, error))
            m_Path = path.wstring();
        else
            ADD_FAILURE() << "no temporary folder: " << error.message();
    }
    ~TempFolder()
    {
        std::error_code error;
        if (!m_Path.empty())
            std::filesystem::remove_all(m_Path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_Path; }
    // Writes the bytes as they are (UTF-8 text stays UTF-8) and returns the full name.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const
    {
        std::ofstream file(std::filesystem::path(FileName(name)), std::ios::binary | std::ios::trunc);
        if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
            ADD_FAILURE() << "cannot write " << std::filesystem::path(FileName(name)).string();
        return FileName(name);
    }
    std::wstring FileName(const std::wstring& name) const { return m_Path + L"\\" + name; }

private:
    std::wstring m_Path;
};

// The whole file; false when it cannot be opened.
inline bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return static_cast<bool>(file);
}

} // namespace qsmtest
