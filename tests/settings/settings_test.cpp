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

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
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

TEST_F(Settings, UpdateTimeReadsLeadingDecimal)
{
    const struct {
        const wchar_t* value;
        DWORD ms;
    } cases[] = {
        {L"250", 250}, {L"abc", 0}, {L"", 0}, {L"  42ms", 42}, {L"+7", 7},
        {L" -5", 0}, // a negative pause reads as none
        {L"-0", 0},  {L"0", 0},     {L"1000", 1000},
    };
    for (const auto& c : cases) {
        m_Registry.SetUpdateTime(c.value);
        EXPECT_EQ(mrvSettings::ReadUpdateTime(), c.ms) << "UpdateTime \"" << mrvUtils::W2M(c.value) << "\"";
    }
    EXPECT_EQ(m_Debug.Count("mrvMainDialog::mrvMainDialog"), 0u);
}

TEST_F(Settings, UpdateTimeMissingIsOneSecond)
{
    m_Registry.Remove(L"UpdateTime");
    EXPECT_EQ(mrvSettings::ReadUpdateTime(), 1000u);
    EXPECT_EQ(m_Debug.Lines(), std::vector<std::string>{"mrvMainDialog::mrvMainDialog"});
}

TEST_F(Settings, TcpPortOnlyFromADword)
{
    DWORD port = 77;
    m_Registry.Remove(L"TCPPort");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 77u);

    m_Registry.SetTcpPort(9100);
    EXPECT_TRUE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 9100u);

    // "9" with its terminator is four bytes too; it must not become port 57.
    port = 77;
    m_Registry.SetString(L"TCPPort", L"9");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    m_Registry.SetString(L"TCPPort", L"9100");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 77u);
}

TEST_F(Settings, PathIsReadOrThrows)
{
    m_Registry.SetPath(L"C:\\Program Files\\Quillor");
    EXPECT_EQ(mrvSettings::ReadPath(), L"C:\\Program Files\\Quillor");
    m_Registry.Remove(L"Path");
    const std::string line = FirstStackLine([] { mrvSettings::ReadPath(); });
    EXPECT_TRUE(StartsWith(line, "Failed to read configuration. (GetLastError()=2, ")) << line;
    EXPECT_NE(line.find("). Caused in <mrvAPI::mrvUtils::GetConfigValue()> ["), std::string::npos) << line;
}

TEST_F(Settings, ConfigValueLengthLimit)
{
    m_Registry.SetString(kScratch, std::wstring(2047, L'x'));
    EXPECT_EQ(mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch), std::wstring(2047, L'x'));

    m_Registry.SetString(kScratch, std::wstring(2048, L'y'));
    const std::string line =
        FirstStackLine([] { mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch); });
    EXPECT_TRUE(StartsWith(line, "Failed to read configuration. (GetLastError()=234, ")) << line; // ERROR_MORE_DATA
}

TEST_F(Settings, ConfigValueOfADwordIsItsBytes)
{
    const struct {
        DWORD value;
        std::wstring text;
    } cases[] = {
        {0x00420041, L"AB"},
        {0x00000041, L"A"},
        {0x00410000, L""}, // the first unit is zero
        {0x41424344, std::wstring{wchar_t(0x4344), wchar_t(0x4142)}},
    };
    for (const auto& c : cases) {
        m_Registry.SetDword(kScratch, c.value);
        EXPECT_EQ(mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch), c.text) << std::hex
                                                                                                 << c.value;
    }
}

TEST_F(Settings, ConfigValueErrorIsTheRegistryCallsOwn)
{
    m_Registry.Remove(kScratch);
    const struct {
        const wchar_t* key;
        const char* what;
    } cases[] = {
        {mrvCONFIG_KEY, "missing value"},
        {L"Software\\Morvane\\NoSuchKey\\", "missing key"},
    };
    for (const auto& c : cases) {
        const std::wstring key = c.key;
        const std::string line = FirstStackLine([&key] {
            SetLastError(0xdeadbeef);
            mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, key, kScratch);
        });
        EXPECT_EQ(line.substr(0, line.find(" Caused in <")),
                  "Failed to read configuration." + mrvUtils::LastErrorSuffix(ERROR_FILE_NOT_FOUND))
            << c.what;
        EXPECT_TRUE(StartsWith(line, "Failed to read configuration. (GetLastError()=2, ")) << c.what << ": " << line;
    }
}
