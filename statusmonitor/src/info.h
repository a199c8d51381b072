#pragma once
#include "dialog.h"
#include <cstdint>
#include <optional>
#include <string>

namespace mrvAPI {
class mrvListBox;
class mrvPrinter;
} // namespace mrvAPI

// The Info page of a main dialog: the installed files with their versions and
// the save-log button, whose command the main dialog handles.
class mrvInfo : public mrvAPI::mrvDialog {
public:
    // The printer belongs to the main dialog and must outlive the page.
    mrvInfo(mrvAPI::mrvDialog* pParent, const mrvAPI::mrvPrinter& printer);
    ~mrvInfo() override;

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnCreate() override;
    void OnDestroy() override;

    void Translate();
    void AddFile(const wchar_t* path);

    // The list line for a file: its lower-case name, and for a program file
    // (.dll, .exe) its product version or "?". Empty for a path without a backslash.
    static std::wstring FileLine(const std::wstring& path);
    // "quillor.inf (a.b.c.d)" from the four 16-bit parts, most significant first.
    static std::wstring InfLine(uint64_t driverVersion);
    // The driver version that line shows, or nothing when the driver cannot be read.
    static std::optional<uint64_t> ReadDriverVersion(const std::wstring& printerName);

private:
    void AddDriverFiles();

    mrvAPI::mrvListBox* m_pFileList;
    const mrvAPI::mrvPrinter& m_Printer;
};
