#pragma once
// Shared by the tests of a language monitor that is down, floods or flaps.
#include "debug_capture.h"
#include "process.h"
#include "registry_fixture.h"
#include "spooler_fixture.h"
#include "win.h"
#include <gtest/gtest.h>
#include <string>

namespace robust {

// Seconds a run lasts: the default, or QSM_ROBUST_SECONDS for a longer measurement.
DWORD Seconds(DWORD byDefault);
// Bytes the process holds privately (its committed memory).
size_t PrivateBytes();
// A loopback port on which nothing listens.
DWORD DeadPort();
// Milliseconds since an arbitrary start.
double NowMs();

// The shipped language file from beside the test program, this program's printers
// (by their driver) and a short update time.
class Robust : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Install(const std::wstring& name);
    // Printers "Quillor Robust <i>" up to count in all; the list is filled afresh.
    void InstallNumbered(int count);

    qsmtest::DebugCapture m_Debug;
    qsmtest::RegistryFixture m_Registry;
    qsmtest::SpoolerFixture m_Spooler;
};

} // namespace robust
