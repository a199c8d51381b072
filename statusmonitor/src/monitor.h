#pragma once
#include <optional>
#include "dialog.h"
#include <memory>
#include <string>

namespace mrvAPI {
class mrvEdit;
class mrvListBox;
class mrvPrinter;
class mrvProgressBar;
class mrvVersionBitmap;
} // namespace mrvAPI

// The Monitor page of a main dialog: header bitmap, status lines, ink and UV
// bars, material code and print job. The main dialog calls one operation per
// status message of its worker.
class mrvMonitor : public mrvAPI::mrvDialog {
public:
    // The printer belongs to the main dialog and must outlive the page.
    mrvMonitor(mrvAPI::mrvDialog* pParent, const mrvAPI::mrvPrinter& printer);
    ~mrvMonitor() override;

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnCreate() override;
    void OnDestroy() override;

    void AddStatus(UINT textId);
    void SetInkLevel(UINT value);
    void SetUvLamp(UINT value);
    void AddNumber(WORD number);
    void SetMaterialCode(const std::string& code);
    void SetPrintJob(const std::string& jobName);
    void Translate();

    // Jobs in the printer's spooler queue; 0 when the printer cannot be opened.
    static UINT QueuedJobCount(const std::wstring& printerName);
    // The same, or nothing when the spooler cannot tell.
    static std::optional<UINT> TryQueuedJobCount(const std::wstring& printerName);
    // The bars run from 0 to 100 and show a larger value as full.
    static UINT BarPosition(UINT value) { return value < 100 ? value : 100; }
    // The status line for the number of command 9.
    static std::wstring NumberLine(WORD number);

private:
    void SetLine(UINT controlId, const std::wstring& text);

    mrvAPI::mrvListBox* m_pStatusList;
    mrvAPI::mrvProgressBar* m_pInkLevel;
    mrvAPI::mrvProgressBar* m_pUvLamp;
    mrvAPI::mrvEdit* m_pMaterialCode;
    std::unique_ptr<mrvAPI::mrvVersionBitmap> m_pBitmap;
    const mrvAPI::mrvPrinter& m_Printer;
};
