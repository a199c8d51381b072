#pragma once
#include "win.h"
#include <string>

namespace qsmtest {

// A fresh folder below the temporary folder, removed with its files when it goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_Path; }
    // Writes the bytes as they are (UTF-8 text stays UTF-8) and returns the full name.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const;
    std::wstring FileName(const std::wstring& name) const { return m_Path + L"\\" + name; }

private:
    std::wstring m_Path;
};

// The whole file; false when it cannot be opened.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

} // namespace qsmtest
