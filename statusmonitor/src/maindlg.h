#pragma once
#include "dialog.h"
#include "printer.h"
#include <memory>
#include <string>

namespace mrvAPI {
class mrvTabControl;
}
class mrvUpdate;
class mrvMonitor;
class mrvInfo;

// The status window of one printer: a tab control with the Monitor and Info
// pages, fed by the printer's update worker.
class mrvMainDialog : public mrvAPI::mrvDialog {
public:
    explicit mrvMainDialog(const mrvAPI::mrvPrinter& printer);
    ~mrvMainDialog() override;

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnCreate() override;
    void OnDestroy() override;
    void Translate();

    const mrvAPI::mrvPrinter& GetPrinter() const { return m_Printer; }
    DWORD GetUpdateTime() const { return m_UpdateTime; }
    bool IsSavingLog() const { return m_SaveRunning; }
    // True while a DlgProc of this dialog runs further up the stack (for
    // example behind its error box); the object must not be deleted then.
    bool IsInDlgProc() const { return m_DlgProcDepth > 0; }
    // Asks the worker to end without waiting, so that several windows going
    // together wait for their workers side by side.
    void RequestStop();

    // The title a main dialog carries; a second instance finds the window by it.
    static std::wstring MakeTitle(const std::wstring& printerName, const std::wstring& portName);

private:
    INT_PTR HandleMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnWorkerValue(UINT uMsg, WPARAM wParam);
    void OnWorkerText(UINT uMsg, LPARAM lParam);
    void OnError(LPARAM lParam);
    void OnSaveLog();
    void OnLogDone();
    void CreateLogBox();

    // First, so that it outlives the worker and the pages, which refer to it.
    mrvAPI::mrvPrinter m_Printer;
    std::unique_ptr<mrvUpdate> m_pUpdate;
    mrvAPI::mrvTabControl* m_pTab;
    std::unique_ptr<mrvMonitor> m_pMonitor;
    std::unique_ptr<mrvInfo> m_pInfo;
    std::unique_ptr<mrvAPI::mrvDialog> m_pLogBox;
    bool m_Busy;        // wait cursor: from the confirmed file name to the worker's end report
    bool m_SaveRunning; // from the button press to the end report
    HCURSOR m_hWaitCursor;
    HCURSOR m_hArrowCursor;
    DWORD m_UpdateTime;
    int m_DlgProcDepth;
    HWND m_hPostTarget; // the window the worker posts to, kept until the worker is gone
    bool m_ErrorBoxOpen;
    bool m_ErrorPending;
    std::wstring m_PendingCode; // the newest error that came while the box was open
    std::wstring m_PendingText;
};
