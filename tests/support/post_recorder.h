#pragma once
#include "win.h"
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
    explicit PostRecorder(std::vector<UINT> textMessages = {}, bool ownsText = false);
    ~PostRecorder();
    PostRecorder(const PostRecorder&) = delete;
    PostRecorder& operator=(const PostRecorder&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    // Dispatches pending messages of this thread for up to ms milliseconds.
    void Pump(DWORD ms);
    // Pumps until pred() holds or timeoutMs passes; returns pred().
    bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs);
    const std::vector<PostedMessage>& Messages() const { return m_Messages; }
    std::vector<PostedMessage> Of(UINT message) const;
    void Clear() { m_Messages.clear(); }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;
    std::vector<UINT> m_TextMessages;
    bool m_OwnsText;
    std::vector<PostedMessage> m_Messages;
};

} // namespace qsmtest
