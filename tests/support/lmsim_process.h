#pragma once
#include "win.h"
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qsmtest {

// build/tools/lmsim.exe as a separate process on a port the system chooses, its
// output collected line by line by a reader thread. Ended when it goes.
//
//   LmsimProcess sim;
//   ASSERT_TRUE(sim.Start(L"--scenario static"));
//   registry.SetTcpPort(sim.Port());
//   EXPECT_TRUE(sim.WaitForCount("closed by the peer", 2, 5000));
class LmsimProcess {
public:
    LmsimProcess() = default;
    ~LmsimProcess();
    LmsimProcess(const LmsimProcess&) = delete;
    LmsimProcess& operator=(const LmsimProcess&) = delete;

    // Starts "lmsim --port 0 <arguments>" and waits for its listening line.
    bool Start(const std::wstring& arguments, DWORD timeoutMs = 10000);
    DWORD Port() const { return m_Port; }

    std::vector<std::string> Lines() const;
    size_t CountContaining(const std::string& part) const;
    // Waits until at least count lines contain part.
    bool WaitForCount(const std::string& part, size_t count, DWORD timeoutMs) const;

    // The simulator next to the test programs: <exe folder>..\tools\lmsim.exe.
    static std::wstring Path();

private:
    void Read();
    void Stop();

    HANDLE m_hProcess = nullptr;
    HANDLE m_hRead = nullptr;
    std::thread m_Reader;
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Lines;
    DWORD m_Port = 0;
};

} // namespace qsmtest
