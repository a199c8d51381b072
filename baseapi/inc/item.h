#pragma once
#include "win.h"
#include "handle.h"
#include <optional>
#include <string>
#include <vector>

namespace mrvAPI {

class mrvDialog;

// A control of a dialog, found by its identifier. Items are owned by their
// dialog (mrvDialog::AddItem) and deleted by its Destroy.
class mrvItem {
public:
    mrvItem(mrvDialog* pDialog, UINT id);
    virtual ~mrvItem() = default;
    mrvItem(const mrvItem&) = delete;
    mrvItem& operator=(const mrvItem&) = delete;

    UINT GetId() const { return m_Id; }
    HWND GetHwnd() const { return m_hWnd; }

    // Looks the control up again, so it reaches a control created after the item.
    LRESULT SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

protected:
    UINT m_Id;
    HWND m_hWnd;
    mrvDialog* m_pDialog;
};

// A list box whose lines can be rebuilt in another language. Every line added
// is recorded, also across Clear, so that Translate brings back all of them.
class mrvListBox : public mrvItem {
public:
    mrvListBox(mrvDialog* pDialog, UINT id) : mrvItem(pDialog, id) {}

    void AddText(UINT textId, bool select);
    // Recorded as text identifier 0; Translate shows the literal text again.
    void AddText(const wchar_t* text, bool select);
    // Empties the control only; the recorded lines stay.
    void Clear();
    void Translate();

    const std::vector<UINT>& GetTextIds() const { return m_TextIds; }

private:
    void AddLine(const std::wstring& text, bool select);
    void SelectLast();

    std::vector<UINT> m_TextIds;
    std::vector<std::optional<std::wstring>> m_Literals; // parallel to m_TextIds
};

// A progress bar with the range 0..100.
class mrvProgressBar : public mrvItem {
public:
    mrvProgressBar(mrvDialog* pDialog, UINT id);
    void SetPos(UINT value);
};

// An edit or static control whose text is replaced as a whole.
class mrvEdit : public mrvItem {
public:
    mrvEdit(mrvDialog* pDialog, UINT id) : mrvItem(pDialog, id) {}
    void SetText(const wchar_t* text);
};

struct mrvMenuTraits {
    static HMENU Empty() { return nullptr; }
    static bool IsValid(HMENU h) { return h != nullptr; }
    static void Close(HMENU h) { DestroyMenu(h); }
};
using mrvMenuHandle = mrvHandle<HMENU, mrvMenuTraits>;

// A popup menu shown at the cursor; the chosen command reaches the owner
// window as WM_COMMAND. The item identifier is not used by the menu.
class mrvPopupMenu : public mrvItem {
public:
    mrvPopupMenu(mrvDialog* pDialog, UINT id);

    void AppendItem(UINT textId, UINT commandId);
    void AppendItem(const wchar_t* text, UINT commandId);
    void AppendSeparator();
    void TrackMenu(HWND hOwner);

    HMENU GetHmenu() const { return m_hMenu.Get(); }

private:
    mrvMenuHandle m_hMenu;
};

} // namespace mrvAPI
