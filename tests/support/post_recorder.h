#pragma once
#include "pump.h"
#include "win.h"
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace qsmtest {

// A message-only window that records what is posted to it. Strings posted by
// pointer (lParam) are copied when the message is handled, the way the real
// window does, and freed when the recorder is given a deleter.
struct PostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string text; // lParam as a narrow string, when the message carries one
};

class PostRecorder {
public:
    // textMessages: messages whose lParam points to a narrow string to copy;
    // ownsText: the poster hands over a new[]-allocated copy that the receiver deletes.
    explicit PostRecorder(std::vector<UINT> textMessages = {}, bool ownsText = false)
        : m_TextMessages(std::move(textMessages)), m_OwnsText(ownsText)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &PostRecorder::WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"qsmtest.PostRecorder";
        RegisterClassW(&wc); // fails harmlessly when already registered
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~PostRecorder()
    {
        PumpFor(0); // frees the texts of messages still queued
        DestroyWindow(m_hWnd);
    }
    PostRecorder(const PostRecorder&) = delete;
    PostRecorder& operator=(const PostRecorder&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    const std::vector<PostedMessage>& Messages() const { return m_Messages; }
    std::vector<PostedMessage> Of(UINT message) const
    {
        std::vector<PostedMessage> out;
        std::copy_if(m_Messages.begin(), m_Messages.end(), std::back_inserter(out),
                     [message](const PostedMessage& m) { return m.message == message; });
        return out;
    }
    void Clear() { m_Messages.clear(); }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<PostRecorder*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (!self || msg < WM_USER)
            return DefWindowProcW(hWnd, msg, wParam, lParam);
        PostedMessage m{msg, wParam, lParam, {}};
        const auto& texts = self->m_TextMessages;
        if (lParam && std::find(texts.begin(), texts.end(), msg) != texts.end()) {
            m.text = reinterpret_cast<const char*>(lParam);
            if (self->m_OwnsText)
                delete[] reinterpret_cast<char*>(lParam);
        }
        self->m_Messages.push_back(m);
        return 0;
    }

    HWND m_hWnd = nullptr;
    std::vector<UINT> m_TextMessages;
    bool m_OwnsText;
    std::vector<PostedMessage> m_Messages;
};

} // namespace qsmtest
