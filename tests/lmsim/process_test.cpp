// The real lmsim.exe as a separate process, talked to with the program's own socket client.
#include "bytes.h"
#include "process.h"
#include "socket.h"
#include <gtest/gtest.h>

using qsmtest::Bytes;

TEST(LmsimProcess, ServesConnectionsSideBySideAndEndsAfterItsDuration)
{
    qsmtest::LmsimProcess sim;
    ASSERT_TRUE(sim.Start(L"--scenario static --printers 2 --duration 3")) << "lmsim.exe not found next to the tests";
    SocketAPI first, second;
    ASSERT_TRUE(first.Connect(sim.Port()));
    ASSERT_TRUE(second.Connect(sim.Port()));
    EXPECT_EQ(first.SocketRequestData(Bytes({1, 0}), 1500, 0), Bytes({0x81, 0x00, 0x48}));
    // Each printer has its own values; an index past them gets the bare answer.
    EXPECT_EQ(second.SocketRequestData(Bytes({9, 1}), 1500, 0), Bytes({0x89, 0x00, 0x2D, 0x01}));
    EXPECT_EQ(second.SocketRequestData(Bytes({1, 2}), 1500, 0), Bytes({0x81, 0x00}));
    const std::string log = first.SocketRequestData(Bytes({4, 0}), 1500, 326656);
    EXPECT_EQ(log.size(), 326656u);
    EXPECT_EQ(log.substr(0, 6), std::string("\x84\x00QLOG", 6));
    EXPECT_TRUE(sim.WaitForCount("cmd 4 -> 0x84 log 326654 bytes [5 bursts]", 1, 5000));
    EXPECT_TRUE(sim.WaitForCount("lmsim: stopped", 1, 10000));
    EXPECT_EQ(first.SocketRequestData(Bytes({1, 0}), 1000, 0), "");
    EXPECT_TRUE(first.HasError());
    qsmtest::ChildProcess bad;
    ASSERT_TRUE(bad.Start(L"\"" + qsmtest::LmsimProcess::Path() + L"\" --port 0 --fault sometimes"));
    EXPECT_EQ(bad.Wait(10000), 2u);
}
