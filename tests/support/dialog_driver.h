#pragma once
#include "win.h"
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace qsmtest {

// Answers the modal windows that the main thread opens while it is blocked in
// them: on its own thread, every visible "#32770" window whose caption begins
// with prefix is handed to act (which reads or fills it in) and then closed by
// posting WM_COMMAND with the command that act returns.
class DialogDriver {
public:
    DialogDriver(std::wstring prefix, std::function<UINT(HWND)> act);
    DialogDriver(std::wstring prefix, UINT command) : DialogDriver(std::move(prefix), [command](HWND) { return command; }) {}
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    void Stop();
    int Seen() const { return m_Seen; }

private:
    void Run();

    std::wstring m_Prefix;
    std::function<UINT(HWND)> m_Act;
    std::atomic<bool> m_Stop;
    std::atomic<int> m_Seen;
    std::thread m_Thread;
};

} // namespace qsmtest
