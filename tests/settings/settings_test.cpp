#include "debug_capture.h"
#include "exception.h"
#include "registry_fixture.h"
#include "settings.h"
#include "utils.h"
#include <functional>
#include <gtest/gtest.h>

using namespace mrvAPI;
using qsmtest::DebugCapture;
using qsmtest::RegistryFixture;

namespace {

// A value name nothing else reads, for the GetConfigValue cases.
const wchar_t* const kScratch = L"QsmScratchValue";

std::string FirstStackLine(const std::function<void()>& call)
{
    try {
        call();
    } catch (const mrvException& e) {
        EXPECT_EQ(e.GetCode(), mrvE_FAIL);
        return e.GetStack().empty() ? std::string() : e.GetStack()[0];
    }
    ADD_FAILURE() << "no mrvException";
    return std::string();
}

} // namespace

class Settings : public ::testing::Test {
protected:
    RegistryFixture m_Registry;
    DebugCapture m_Debug;
};

TEST_F(Settings, PrinterFilterPresentAndMissing)
{
    m_Registry.SetPrinterFilter(L"Quillor");
    EXPECT_EQ(mrvSettings::ReadPrinterFilter("WinMain"), L"Quillor");
    EXPECT_TRUE(m_Debug.Lines().empty());

    m_Registry.Remove(L"PrinterFilter");
    EXPECT_EQ(mrvSettings::ReadPrinterFilter("WinMain"), L"");
    EXPECT_EQ(mrvSettings::ReadPrinterFilter("updateDialogList exeption"), L"");
    EXPECT_EQ(m_Debug.Lines(), (std::vector<std::string>{"WinMain", "updateDialogList exeption"}));
}

// The number rule at its limits has its own table; here the registry side.
TEST_F(Settings, UpdateTimeReadsLeadingDecimalAndDefaultsToOneSecond)
{
    const struct {
        const wchar_t* value;
        DWORD ms;
    } cases[] = {{L"  42ms", 42}, {L"+7", 7}, {L"abc", 0}, {L" -5", 0}}; // a negative pause reads as none
    for (const auto& c : cases) {
        m_Registry.SetUpdateTime(c.value);
        EXPECT_EQ(mrvSettings::ReadUpdateTime(), c.ms) << "UpdateTime \"" << mrvUtils::W2M(c.value) << "\"";
    }
    EXPECT_TRUE(m_Debug.Lines().empty());
    m_Registry.Remove(L"UpdateTime");
    EXPECT_EQ(mrvSettings::ReadUpdateTime(), 1000u);
    EXPECT_EQ(m_Debug.Lines(), std::vector<std::string>{"mrvMainDialog::mrvMainDialog"});
}

TEST_F(Settings, TcpPortOnlyFromADword)
{
    DWORD port = 77;
    m_Registry.Remove(L"TCPPort");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    m_Registry.SetTcpPort(9100);
    EXPECT_TRUE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 9100u);

    // "9" with its terminator is four bytes too; it must not become port 57.
    port = 77;
    m_Registry.SetString(L"TCPPort", L"9");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 77u);
}

TEST_F(Settings, PathIsReadOrTheRegistryErrorIsThrown)
{
    m_Registry.SetPath(L"C:\\Program Files\\Quillor");
    EXPECT_EQ(mrvSettings::ReadPath(), L"C:\\Program Files\\Quillor");
    m_Registry.Remove(L"Path");
    const std::string expected = "Failed to read configuration." + mrvUtils::LastErrorSuffix(ERROR_FILE_NOT_FOUND) +
                                 " Caused in <mrvAPI::mrvUtils::GetConfigValue()> [";
    EXPECT_EQ(FirstStackLine([] { mrvSettings::ReadPath(); }).rfind(expected, 0), 0u);

    // The error is the registry call's own, not whatever came before; a missing key alike.
    const std::string line = FirstStackLine([] {
        SetLastError(0xdeadbeef);
        mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, L"Software\\Morvane\\NoSuchKey\\", kScratch);
    });
    EXPECT_EQ(line.rfind(expected, 0), 0u) << line;
}

TEST_F(Settings, ConfigValueLengthLimitAndDwordBytes)
{
    m_Registry.SetString(kScratch, std::wstring(2047, L'x'));
    EXPECT_EQ(mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch), std::wstring(2047, L'x'));
    m_Registry.SetString(kScratch, std::wstring(2048, L'y'));
    const std::string line =
        FirstStackLine([] { mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch); });
    EXPECT_EQ(line.rfind("Failed to read configuration. (GetLastError()=234, ", 0), 0u) << line; // ERROR_MORE_DATA

    // A DWORD value reads as its bytes taken for UTF-16 units.
    m_Registry.SetDword(kScratch, 0x00420041);
    EXPECT_EQ(mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch), L"AB");
    m_Registry.SetDword(kScratch, 0x00410000);
    EXPECT_EQ(mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch), L"");
}
