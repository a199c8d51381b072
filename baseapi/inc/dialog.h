#pragma once
#include "exception.h"
#include "lock.h"
#include "win.h"
#include <string>
#include <vector>

namespace mrvAPI {

class mrvItem;

// Base of every window: a modeless dialog from a resource template. All
// dialogs are in one global list, through which the one static dialog
// procedure finds the object that owns a window.
class mrvDialog {
public:
    mrvDialog(const std::string& name, mrvDialog* pParent);
    virtual ~mrvDialog();
    mrvDialog(const mrvDialog&) = delete;
    mrvDialog& operator=(const mrvDialog&) = delete;

    virtual INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    virtual void OnCreate();
    virtual void OnDestroy();
    void Update();

    void Create(HINSTANCE hInstance, UINT templateId, int x, int y);
    void Destroy();
    void Show();
    void Hide();
    void SetForeground();
    void SetPosition(int x, int y);

    HWND GetHwnd() const { return m_hWnd; }
    mrvDialog* GetParent() const { return m_pParent; }
    const std::string& GetName() const { return m_Name; }

    // The dialog owns the item from here on; Destroy deletes it.
    void AddItem(mrvItem* pItem)
    {
        if (!pItem)
            ThrowNullPointer("pItem", "mrvAPI::mrvDialog::AddItem", "baseapi\\inc\\dialog", __LINE__);
        m_Items.push_back(pItem);
    }
    mrvItem* GetItem(UINT id) const;

    void MessagePump(HACCEL hAccel);

protected:
    HWND m_hWnd;
    std::string m_Name;
    mrvDialog* m_pParent;
    std::vector<mrvItem*> m_Items;

private:
    static INT_PTR CALLBACK StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};

} // namespace mrvAPI
