#include "../base/thrown.h"
#include "config.h"
#include "debug_capture.h"
#include "registry_fixture.h"
#include "settings.h"
#include "temp_folder.h"
#include "utils.h"

using namespace mrvAPI;

namespace {

// A value name nothing else reads, for the GetConfigValue cases.
const wchar_t* const kScratch = L"QsmScratchValue";

std::wstring ConfigValue()
{
    return mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, mrvCONFIG_KEY, kScratch);
}

} // namespace

// TinyXML steps over a UTF-8 sequence by its first byte without looking for the end
// of the text: a text that ended after such a byte made it read on behind the end.
TEST(ConfigTree, MissingBrokenOrCutFileIsNotInstalled)
{
    qsmtest::TempFolder folder;
    const std::pair<const char*, size_t> cases[] = { // the file (none: missing) and its length
        {nullptr, 0}, {"", 0}, {"<root><a></b></root>", 20},
        {"<r>\xF0\0\0\0</r>", 11}, // a four-byte lead, then the end tag behind the zero bytes
        {"<r>Gr\xC3", 6},           // a lead byte last in the file
    };
    for (const auto& c : cases) {
        const std::string bytes = c.second ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + std::string(c.first, c.second) : "";
        const std::wstring file = c.first ? folder.Write(L"broken.xml", bytes) : folder.FileName(L"none.xml");
        const std::string line = Thrown([&] { mrvConfig config(file); });
        EXPECT_EQ(line.rfind("Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> [", 0), 0u)
            << c.second << ": " << line;
    }
}

TEST(ConfigTree, ElementsTextsAttributesUtf8AndLineEnds)
{
    qsmtest::TempFolder folder;
    // CR LF and a lone CR read as one line feed; nothing behind a zero byte is read.
    const std::string xml = "\xEF\xBB\xBF<!-- c --><root a=\"x\r\ny\rz\" \xC3\xB6=\"gro\xC3\x9F\">Gr\xC3\xBC\xC3\x9F"
                            "e \xE6\x97\xA5 \xF0\x9F\x98\x80<a x=\"1\"/>middle<!-- c --><b>B</b><c><d>deep</d></c></root>";
    const mrvConfig config(folder.Write(L"test.xml", xml + '\0' + "<garbage"));
    const mrvConfigNode& root = config.GetRoot();
    EXPECT_EQ(root.name, L"root");
    EXPECT_EQ(root.text, L"Gr\u00FC\u00DFe \u65E5 \xD83D\xDE00");
    EXPECT_EQ(root.attributes, (std::map<std::wstring, std::wstring>{{L"a", L"x\ny\nz"}, {L"\u00F6", L"gro\u00DF"}}));
    EXPECT_EQ(root.GetAttribute(L"A"), L""); // names are compared exactly
    std::wstring children;
    for (const mrvConfigNode& child : root.children) // comments are no children
        children += child.name + L"=" + child.text + child.GetAttribute(L"x") + L"(" +
                    (child.children.empty() ? L"" : child.children.front().text) + L")";
    EXPECT_EQ(children, L"a=1()b=B()c=(deep)");
}

// Each ctest entry runs this in its own ANSI code page; a double-byte one needs two
// bytes per character, so a buffer of one byte per character would fail. A character
// missing from the code page becomes the system's default one.
TEST(Conversion, WideToAnsiOfTheProcessCodePage)
{
    const std::map<UINT, std::vector<std::pair<std::wstring, std::string>>> byCodePage = {
        {1252, {{L"", ""}, {L"C:\\Gr\u00FC\u00DFe \u20AC.log", "C:\\Gr\xFC\xDF" "e \x80.log"}, {L"\u65E5", "?"}}},
        {932, {{L"a\u65E5b\uFF71", "a\x93\xFA" "b\xB1"}, {L"C:\\\u30ED\u30B0\\x.log", "C:\\\x83\x8D\x83O\\x.log"}}},
    };
    ASSERT_EQ(byCodePage.count(GetACP()), 1u) << "LANG gives code page " << GetACP();
    for (const auto& c : byCodePage.at(GetACP()))
        EXPECT_EQ(mrvUtils::W2M(c.first), c.second);
}

class Settings : public ::testing::Test {
protected:
    qsmtest::RegistryFixture m_Registry;
    qsmtest::DebugCapture m_Debug;
};

TEST_F(Settings, FilterUpdateTimeAndPortWithTheirFallBacks)
{
    m_Registry.SetPrinterFilter(L"Quillor");
    EXPECT_EQ(mrvSettings::ReadPrinterFilter("WinMain"), L"Quillor");
    const struct {
        const wchar_t* value;
        DWORD ms;
    } times[] = {{L"  42ms", 42}, {L"abc", 0}, {L" -5", 0}}; // a negative pause reads as none
    for (const auto& c : times) {
        m_Registry.SetUpdateTime(c.value);
        EXPECT_EQ(mrvSettings::ReadUpdateTime(), c.ms) << mrvUtils::W2M(c.value);
    }
    EXPECT_TRUE(m_Debug.Lines().empty());
    m_Registry.Remove(L"PrinterFilter");
    m_Registry.Remove(L"UpdateTime");
    EXPECT_EQ(mrvSettings::ReadPrinterFilter("updateDialogList exeption"), L"");
    EXPECT_EQ(mrvSettings::ReadUpdateTime(), 1000u);
    EXPECT_EQ(m_Debug.Lines(), (std::vector<std::string>{"updateDialogList exeption", "mrvMainDialog::mrvMainDialog"}));

    // The port only from a DWORD value.
    DWORD port = 77;
    m_Registry.Remove(L"TCPPort");
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    m_Registry.SetString(L"TCPPort", L"9"); // with its terminator four bytes too: not port 57
    EXPECT_FALSE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 77u);
    m_Registry.SetTcpPort(9100);
    EXPECT_TRUE(mrvSettings::ReadTcpPort(port));
    EXPECT_EQ(port, 9100u);
}

TEST_F(Settings, ConfigValuesAndTheRegistryErrorsTheyThrow)
{
    m_Registry.SetPath(L"C:\\Program Files\\Quillor");
    EXPECT_EQ(mrvSettings::ReadPath(), L"C:\\Program Files\\Quillor");
    m_Registry.SetString(kScratch, std::wstring(2047, L'x'));
    EXPECT_EQ(ConfigValue(), std::wstring(2047, L'x'));
    m_Registry.SetDword(kScratch, 0x00420041); // a DWORD reads as its bytes taken for UTF-16 units
    EXPECT_EQ(ConfigValue(), L"AB");

    // The error is the registry call's own, not whatever came before.
    const std::string missing = "Failed to read configuration." + mrvUtils::LastErrorSuffix(ERROR_FILE_NOT_FOUND) +
                                " Caused in <mrvAPI::mrvUtils::GetConfigValue()> [";
    const std::string noKey = Thrown([] {
        SetLastError(0xdeadbeef);
        mrvUtils::GetConfigValue(HKEY_LOCAL_MACHINE, L"Software\\Morvane\\NoSuchKey\\", kScratch);
    });
    EXPECT_EQ(noKey.rfind(missing, 0), 0u) << noKey;
    m_Registry.SetString(kScratch, std::wstring(2048, L'y'));
    const std::string tooLong = Thrown([] { ConfigValue(); });
    EXPECT_EQ(tooLong.rfind("Failed to read configuration. (GetLastError()=234, ", 0), 0u) << tooLong; // ERROR_MORE_DATA
}
