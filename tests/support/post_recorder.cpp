#include "post_recorder.h"
#include "pump.h"
#include <algorithm>

namespace qsmtest {

namespace {
const wchar_t* const kClass = L"qsmtest.PostRecorder";
}

PostRecorder::PostRecorder(std::vector<UINT> textMessages, bool ownsText)
    : m_hWnd(nullptr), m_TextMessages(std::move(textMessages)), m_OwnsText(ownsText)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &PostRecorder::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc); // fails harmlessly when already registered
    m_hWnd = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PostRecorder::~PostRecorder()
{
    if (m_hWnd) {
        // Free the texts of messages still queued before the window goes.
        Pump(0);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

LRESULT CALLBACK PostRecorder::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<PostRecorder*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!self || msg < WM_USER)
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    PostedMessage m{msg, wParam, lParam, {}};
    const bool isText = std::find(self->m_TextMessages.begin(), self->m_TextMessages.end(), msg) !=
                        self->m_TextMessages.end();
    if (isText && lParam) {
        m.text = reinterpret_cast<const char*>(lParam);
        if (self->m_OwnsText)
            delete[] reinterpret_cast<char*>(lParam);
    }
    self->m_Messages.push_back(m);
    return 0;
}

void PostRecorder::Pump(DWORD ms)
{
    PumpFor(ms);
}

bool PostRecorder::PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    return qsmtest::PumpUntil(pred, timeoutMs);
}

std::vector<PostedMessage> PostRecorder::Of(UINT message) const
{
    std::vector<PostedMessage> out;
    for (const PostedMessage& m : m_Messages)
        if (m.message == message)
            out.push_back(m);
    return out;
}

} // namespace qsmtest
