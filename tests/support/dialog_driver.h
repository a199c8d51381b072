#pragma once
#include "window_probe.h"
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
    DialogDriver(std::wstring prefix, std::function<UINT(HWND)> act)
        : m_Thread([this, prefix, act] {
              while (!m_Stop) {
                  if (HWND hWnd = WaitForMessageBoxPrefix(prefix, 20)) {
                      const UINT command = act(hWnd);
                      ++m_Seen;
                      PostMessageW(hWnd, WM_COMMAND, command, 0);
                      WaitForNoWindow(hWnd, 5000);
                  }
              }
          })
    {
    }
    DialogDriver(std::wstring prefix, UINT command) : DialogDriver(std::move(prefix), [command](HWND) { return command; }) {}
    ~DialogDriver() { Stop(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    void Stop()
    {
        m_Stop = true;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    int Seen() const { return m_Seen; }

private:
    std::atomic<bool> m_Stop{false};
    std::atomic<int> m_Seen{0};
    std::thread m_Thread; // last: it uses the members above
};

} // namespace qsmtest
