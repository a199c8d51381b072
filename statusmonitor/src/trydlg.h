#pragma once
#include "dialog.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mrvAPI {
class mrvPopupMenu;
class mrvPrinter;
}
class mrvMainDialog;

// The hidden top-level window behind the notification-area icon. Owns one main
// dialog per monitored printer, in tray-menu order, and the current popup menu.
class mrvTryDialog : public mrvAPI::mrvDialog {
public:
    mrvTryDialog();
    ~mrvTryDialog() override;

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // A printer is monitored unless its port name begins with "COM".
    static bool IsMonitored(const mrvAPI::mrvPrinter& printer);
    static UINT CountMonitoredPrinters();

    // The program's answers to a restarted shell ("TaskbarCreated": put the icon back)
    // and to the end of the session (take the icon away before the workers stop).
    void SetShellHandlers(std::function<void()> onShellRestart, std::function<void()> onSessionEnd);

    void ShowAll();
    void ShowByName(const std::wstring& name);
    void updateDialogList();

    size_t GetDialogCount() const { return m_Dialogs.size(); }
    mrvMainDialog* GetDialog(size_t index) const { return m_Dialogs[index]; }
    size_t GetRetiredCount() const { return m_Retired.size(); }
    // From the first step of Exit, the end of the session or a failed start on:
    // nothing is rebuilt, shown or created any more.
    bool IsClosing() const { return m_Closing; }
    // The menu of the last click, kept until the next one; null before the first.
    const mrvAPI::mrvPopupMenu* GetPopupMenu() const { return m_pPopupMenu.get(); }

    static constexpr UINT kCmdExit = 2000;
    static constexpr UINT kCmdFirstPrinter = 2001;
    static constexpr UINT kIconCallback = WM_USER;

    // One entry per main dialog, the printer's name as its text.
    void addMenuEntries(mrvAPI::mrvPopupMenu* pMenu);

private:
    void ShowTrayMenu();
    void AddDialog(const mrvAPI::mrvPrinter& printer);
    void RemoveDialog(mrvMainDialog* pDialog);
    void DeleteAllDialogs();
    void ReapRetired();
    void RebuildDialogList();
    void EndSession();

    std::unique_ptr<mrvAPI::mrvPopupMenu> m_pPopupMenu;
    std::vector<mrvMainDialog*> m_Dialogs;
    // Removed dialogs whose window procedure was still running below; deleted
    // once it has returned.
    std::vector<mrvMainDialog*> m_Retired;
    bool m_Updating;
    bool m_UpdateAgain;
    bool m_Closing;
    const UINT m_TaskbarCreated;
    std::function<void()> m_OnShellRestart;
    std::function<void()> m_OnSessionEnd;
};
