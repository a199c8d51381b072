#pragma once
#include "item.h"
#include <vector>

namespace mrvAPI {

class mrvDialog;

// A tab control whose tabs each show one page dialog; the pages are not owned.
class mrvTabControl : public mrvItem {
public:
    struct Tab {
        mrvDialog* pPage;
        UINT textId;
    };

    mrvTabControl(mrvDialog* pDialog, UINT id) : mrvItem(pDialog, id) {}

    void AddTab(UINT textId, mrvDialog* page);
    void Translate();
    // Shows the page of the selected tab and hides the others.
    void ShowSelectedPage();

    // The area below the tab headers, in the owning dialog's client coordinates.
    void GetPageRect(RECT* rect);
    int GetPageLeft();
    int GetPageTop();

    const std::vector<Tab>& GetTabs() const { return m_Tabs; }

private:
    void SetCaption(size_t index, UINT textId, UINT message, const char* function);

    std::vector<Tab> m_Tabs;
};

} // namespace mrvAPI
