#include "temp_folder.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace qsmtest {

TempFolder::TempFolder()
{
    static LONG s_Counter = 0;
    std::error_code error;
    for (int attempt = 0; attempt < 100 && m_Path.empty(); ++attempt) {
        const std::wstring path = (std::filesystem::temp_directory_path(error) /
                                   (L"qsm" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                    std::to_wstring(InterlockedIncrement(&s_Counter))))
                                      .wstring();
        if (std::filesystem::create_directory(path, error))
            m_Path = path;
    }
    if (m_Path.empty())
        ADD_FAILURE() << "no temporary folder: " << error.message();
}

TempFolder::~TempFolder()
{
    std::error_code error;
    if (!m_Path.empty())
        std::filesystem::remove_all(m_Path, error);
}

std::wstring TempFolder::Write(const std::wstring& name, const std::string& bytes) const
{
    const std::wstring fileName = FileName(name);
    std::ofstream file(std::filesystem::path(fileName), std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        ADD_FAILURE() << "cannot write " << std::filesystem::path(fileName).string();
    return fileName;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

} // namespace qsmtest
