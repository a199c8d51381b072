#include "../base/thrown.h"
#include "language.h"
#include "process.h"
#include "registry_fixture.h"
#include "temp_folder.h"
#include "utils.h"
#include <cstdlib>

using namespace mrvAPI;

// Writes a language file into a fresh folder and points "Path" at it.
class Language : public ::testing::Test {
protected:
    void TearDown() override { mrvLanguages::Clear(); }
    void Write(const std::string& inner)
    {
        m_Folder.Write(L"quillor.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<l>" + inner + "</l>");
        m_Registry.SetPath(m_Folder.Path());
    }
    void Load(const std::string& inner)
    {
        Write(inner);
        mrvLanguages::Load();
    }

    qsmtest::RegistryFixture m_Registry;
    qsmtest::TempFolder m_Folder;
};

using LocaleChoice = Language;
using Catalogue = Language;

// Each ctest entry runs this with its own LANG and names the code it expects in QSM_LOCALE.
TEST_F(LocaleChoice, ExactNameOfTheUserLocaleElseFirst)
{
    const char* locale = std::getenv("QSM_LOCALE");
    ASSERT_TRUE(locale) << "run by the language ctest entries, which set LANG and QSM_LOCALE";
    const std::string want = locale;
    const struct {
        std::vector<std::string> names;
        const char *en, *de, *fr;
    } cases[] = {
        {{"en", "de"}, "en#0", "de#1", "en#0"},
        {{"DE", "de", "de"}, "DE#0", "de#1", "DE#0"}, // case counts
        {{"fr-FR", "fr", "en"}, "en#2", "fr-FR#0", "fr#1"},
        {{"", "xx"}, "#0", "#0", "#0"},
    };
    for (const auto& c : cases) {
        std::string languages; // text 1 tells which element became current
        for (size_t i = 0; i < c.names.size(); ++i)
            languages += "<language name=\"" + c.names[i] + "\"><t id=\"1\">" + c.names[i] + "#" + std::to_string(i) +
                         "</t></language>";
        Load(languages);
        EXPECT_EQ(mrvUtils::W2M(mrvLanguages::GetText(1)), want == "de" ? c.de : want == "fr" ? c.fr : c.en)
            << "first language " << c.names[0];
    }
}

TEST_F(Catalogue, TextsVersionOptionsAndErrorCodes)
{
    Load("<version number=\"1.3\"/><version number=\"2.0 beta\"/><Version number=\"9\"/>" // element names are exact
         "<option serviceql=\"svc.exe\" settingsql=\"\" conuvql=\"uv.exe\" other=\"x\"/>"
         "<option confluidql=\"fluid.exe\" conuvql=\"uv2.exe\"/><errorCode>"
         "<e number=\"0000012A\" captionId=\"30\" textId=\"31\" icon=\"1\"/>"
         "<e number=\"00000201\" captionId=\"12abc\" textId=\"-1\" icon=\"x\"/><e captionId=\"7\"/></errorCode>"
         "<language name=\"xx\"><t id=\"5\">Line one\\nLine two</t><t id=\"9\"/><t id=\" 12abc\">twelve</t>"
         "<t id=\"7\">first seven</t><other id=\"7\">second seven</other><t>no id</t></language>"
         "<language name=\"yy\"><t id=\"6\">sechs</t></language>"
         "<errorCode><x number=\"0000012A\" captionId=\"40\" textId=\"41\" icon=\"2\"/></errorCode>");
    EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), L"xx"); // neither name is a locale: the first
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"quillor.xml (version 2.0 beta)");
    std::wstring texts, options;
    for (const UINT id : {5, 6, 9, 12, 7, 0})
        texts += mrvLanguages::GetText(id) + L"|";
    EXPECT_EQ(texts, L"Line one\nLine two|||twelve|second seven|no id|"); // the later 7 wins, whatever its name
    for (const wchar_t* name : {L"serviceql", L"settingsql", L"conuvql", L"confluidql", L"smql", L"other"})
        options += mrvLanguages::GetOption(name) + L"|";
    EXPECT_EQ(options, L"svc.exe|unparsed|uv2.exe|fluid.exe|unparsed||"); // an empty attribute changes nothing
    auto entry = [](const wchar_t* code) {
        const mrvErrorCode* e = mrvLanguages::FindErrorCode(code);
        return e ? std::to_string(e->captionId) + "/" + std::to_string(e->textId) + "/" + std::to_string(e->icon) : "none";
    };
    EXPECT_EQ(entry(L"0000012A"), "40/41/2"); // the later entry wins
    EXPECT_EQ(entry(L"00000201"), "12/4294967295/0");
    EXPECT_EQ(entry(L""), "7/0/0"); // no "number": the empty key
    EXPECT_EQ(entry(L"0000012a"), "none");
}

TEST_F(Catalogue, FailedLoadThrowsAndLeavesNothingLoaded)
{
    const std::pair<const char*, const char*> cases[] = { // the file (none: no "Path" value), the stack line's start
        {nullptr, "Failed to read configuration. (GetLastError()=2, "},
        {"<language name=\"zz\">", "Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> ["},
        {"<version number=\"1\"/><errorCode><e number=\"DEFAULT\"/></errorCode>",
         "Language file has no language. Caused in <mrvAPI::mrvLanguages::Load()> ["},
    };
    for (const auto& c : cases) {
        // A good catalogue first: the failed load must not leave any of it behind.
        Load("<version number=\"1\"/><option smql=\"x\"/><language name=\"zz\"><t id=\"1\">x</t></language>"
             "<errorCode><e number=\"DEFAULT\" captionId=\"1\"/></errorCode>");
        c.first ? Write(c.first) : m_Registry.Remove(L"Path");
        const std::string line = Thrown([] { mrvLanguages::Load(); });
        EXPECT_EQ(line.rfind(c.second, 0), 0u) << line;
        EXPECT_TRUE(!mrvLanguages::IsLoaded() && !mrvLanguages::FindErrorCode(L"DEFAULT")) << c.second;
        EXPECT_EQ(mrvLanguages::GetCurrentLanguageName() + mrvLanguages::GetVersionText() + mrvLanguages::GetOption(L"smql"),
                  L"unparsedunparsed")
            << c.second;
    }
    EXPECT_EQ(mrvLanguages::GetText(1), L""); // no current language: empty, not a crash (assertions are off)
}

// The file the driver installation ships, copied next to the test program by tests.cmake:
// the current language (each ctest entry has its own) carries every text the windows and
// error boxes use.
TEST_F(Catalogue, ShippedFileHasEveryTextInTheCurrentLanguage)
{
    m_Registry.SetPath(qsmtest::ExeDir() + L"language_shipped");
    ASSERT_NO_THROW(mrvLanguages::Load());
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"quillor.xml (version 1.0)");
    EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), std::string(std::getenv("QSM_LOCALE")) == "de" ? L"de" : L"en");
    std::vector<UINT> used = {1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 16, 17, 19, 20, 21, 22, 23, 25, 26, 40, 41, 42, 43, 44, 45, 46, 47};
    for (const wchar_t* code : {L"DEFAULT", L"0000012A", L"00000130", L"00000201", L"00000305"}) {
        const mrvErrorCode* entry = mrvLanguages::FindErrorCode(code);
        ASSERT_NE(entry, nullptr) << mrvUtils::W2M(code);
        used.insert(used.end(), {entry->captionId, entry->textId == 4294967295u ? 1u : entry->textId}); // own text
    }
    for (const UINT id : used)
        EXPECT_FALSE(mrvLanguages::GetText(id).empty()) << "text " << id;
}
