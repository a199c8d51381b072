#include "tabcontrol.h"
#include "buffer.h"
#include "dialog.h"
#include "language.h"
#include <commctrl.h>

namespace mrvAPI {

namespace {
const char* const kFile = "baseapi\\src\\tabcontrol";
}

void mrvTabControl::SetCaption(size_t index, UINT textId, UINT message, const char* function)
{
    // TCITEMW wants a writable text.
    mrvBuffer<wchar_t> caption(mrvLanguages::GetText(textId).c_str(), function, kFile, __LINE__);
    TCITEMW item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = caption.get();
    item.lParam = 0;
    SendMessage(message, index, reinterpret_cast<LPARAM>(&item));
}

void mrvTabControl::AddTab(UINT textId, mrvDialog* page)
{
    SetCaption(m_Tabs.size(), textId, TCM_INSERTITEMW, "mrvAPI::mrvTabControl::AddTab");
    m_Tabs.push_back({page, textId});
}

void mrvTabControl::Translate()
{
    for (size_t i = 0; i < m_Tabs.size(); ++i)
        SetCaption(i, m_Tabs[i].textId, TCM_SETITEMW, "mrvAPI::mrvTabControl::Translate");
}

void mrvTabControl::ShowSelectedPage()
{
    const LRESULT selected = SendMessage(TCM_GETCURSEL, 0, 0);
    for (size_t i = 0; i < m_Tabs.size(); ++i) {
        mrvDialog* pPage = m_Tabs[i].pPage;
        if (!pPage)
            continue;
        if (static_cast<LRESULT>(i) == selected)
            pPage->Show();
        else
            pPage->Hide();
    }
}

void mrvTabControl::GetPageRect(RECT* rect)
{
    POINT offset = {0, 0};
    ScreenToClient(m_pDialog ? m_pDialog->GetHwnd() : nullptr, &offset);
    GetWindowRect(m_hWnd, rect);
    OffsetRect(rect, offset.x, offset.y);
    RECT header = {};
    SendMessage(TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header));
    rect->top += header.bottom - header.top;
}

int mrvTabControl::GetPageLeft()
{
    RECT rect = {};
    GetPageRect(&rect);
    return rect.left;
}

int mrvTabControl::GetPageTop()
{
    RECT rect = {};
    GetPageRect(&rect);
    return rect.top;
}

} // namespace mrvAPI
