#include "../base/thrown.h"
#include "config.h"
#include "language.h"
#include "registry_fixture.h"
#include "temp_folder.h"
#include "utils.h"
#include <cstdlib>

using namespace mrvAPI;

namespace {

std::wstring UserLanguageCode()
{
    wchar_t code[256] = {};
    GetLocaleInfoW(GetUserDefaultLCID(), LOCALE_SISO639LANGNAME, code, 256);
    return code;
}

const char* const kErrorTexts = "<language name=\"zz\"><t id=\"30\">Ink empty</t><t id=\"31\">Replace it.\\nThen OK.</t>"
                                "<t id=\"40\">Lamp failure</t><t id=\"50\">Fallback</t><t id=\"51\">Default text</t>"
                                "</language><errorCode><e number=\"0000012A\" captionId=\"30\" textId=\"31\" icon=\"1\"/>"
                                "<e number=\"00000201\" captionId=\"40\" textId=\"4294967295\" icon=\"0\"/>"
                                "<e number=\"00000999\" captionId=\"98\" textId=\"99\" icon=\"1\"/></errorCode>";

} // namespace

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
    ASSERT_EQ(mrvUtils::W2M(UserLanguageCode()), want) << "the environment did not give the locale";
    const struct {
        std::vector<std::string> names;
        const char *en, *de, *fr;
    } cases[] = {
        {{"en", "de"}, "en#0", "de#1", "en#0"},
        {{"en", "DE"}, "en#0", "en#0", "en#0"}, // case counts
        {{"DE", "de", "de"}, "DE#0", "de#1", "DE#0"},
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
    Load("<language name=\"zz\"/>");
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"quillor.xml (version ?)");
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
    const std::pair<UINT, const wchar_t*> texts[] = {
        {5, L"Line one\nLine two"}, {6, L""}, {9, L""}, {12, L"twelve"},
        {7, L"second seven"}, // the later element wins, whatever its name
        {0, L"no id"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(mrvLanguages::GetText(t.first), t.second) << t.first;
    const std::pair<const wchar_t*, const wchar_t*> options[] = {
        {L"serviceql", L"svc.exe"}, {L"settingsql", L"unparsed"}, // an empty attribute changes nothing
        {L"conuvql", L"uv2.exe"},   {L"confluidql", L"fluid.exe"}, {L"smql", L"unparsed"}, {L"other", L""},
    };
    for (const auto& o : options)
        EXPECT_EQ(mrvLanguages::GetOption(o.first), o.second) << mrvUtils::W2M(o.first);
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
    const struct {
        const char* what;
        const char* xml; // nullptr: no "Path" value
        const char* line; // the stack line begins so
    } cases[] = {
        {"no Path value", nullptr, "Failed to read configuration. (GetLastError()=2, "},
        {"broken file", "<language name=\"zz\">", "Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> ["},
        {"no language", "<version number=\"1\"/><errorCode><e number=\"DEFAULT\"/></errorCode>",
         "Language file has no language. Caused in <mrvAPI::mrvLanguages::Load()> ["},
    };
    for (const auto& c : cases) {
        // A good catalogue first: the failed load must not leave any of it behind.
        Load("<version number=\"1\"/><option smql=\"x\"/><language name=\"zz\"><t id=\"1\">x</t></language>"
             "<errorCode><e number=\"DEFAULT\" captionId=\"1\"/></errorCode>");
        c.xml ? Write(c.xml) : m_Registry.Remove(L"Path");
        const std::string line = Thrown([] { mrvLanguages::Load(); });
        EXPECT_EQ(line.rfind(c.line, 0), 0u) << c.what << ": " << line;
        EXPECT_FALSE(mrvLanguages::IsLoaded()) << c.what;
        EXPECT_EQ(mrvLanguages::GetCurrentLanguageName() + mrvLanguages::GetVersionText() + mrvLanguages::GetOption(L"smql"),
                  L"unparsedunparsed")
            << c.what;
        EXPECT_EQ(mrvLanguages::FindErrorCode(L"DEFAULT"), nullptr) << c.what;
    }
    EXPECT_EQ(mrvLanguages::GetText(1), L""); // no current language: empty, not a crash (assertions are off)
}

TEST_F(Catalogue, ErrorBoxFromTheTableOrItsFallbacks)
{
    const struct {
        const wchar_t* code;
        bool withDefault;
        const wchar_t* shown; // caption|text|icon
    } cases[] = {
        {L"0000012A", true, L"Ink empty 0x0000012A|Replace it.\nThen OK.|warning"},
        {L"00000201", true, L"Lamp failure 0x00000201|Printer's own text|error"}, // textId 4294967295
        {L"00000999", true, L" 0x00000999||warning"},                            // numbers the language lacks
        {L"0000012a", true, L"Fallback 0x0000012a|Default text|warning"},         // letter case counts
        {L"0000FFFF", false, L"ERROR 0x0000FFFF|Printer's own text|error"},
    };
    for (const auto& c : cases) {
        Load(std::string(kErrorTexts) +
             (c.withDefault ? "<errorCode><e number=\"DEFAULT\" captionId=\"50\" textId=\"51\" icon=\"1\"/></errorCode>" : ""));
        const mrvErrorMessage m = mrvLanguages::ComposeError(c.code, L"Printer's own text");
        EXPECT_EQ(m.caption + L"|" + m.text + (m.warning ? L"|warning" : L"|error"), c.shown);
    }
}

// The file the driver installation ships, copied next to the test program by tests.cmake:
// every language must carry every text the windows and error boxes use.
TEST_F(Catalogue, ShippedFileHasEveryTextInEveryLanguage)
{
    wchar_t exe[MAX_PATH] = {};
    const std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
    const std::wstring folder = path.substr(0, path.rfind(L'\\')) + L"\\language_shipped";
    m_Registry.SetPath(folder);
    ASSERT_NO_THROW(mrvLanguages::Load());
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"quillor.xml (version 1.0)");
    EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), UserLanguageCode() == L"de" ? L"de" : L"en");

    std::vector<UINT> used = {1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 16, 17, 19, 20, 21, 22, 23, 25, 26, 40, 41, 42, 43, 44, 45, 46, 47};
    for (const wchar_t* code : {L"DEFAULT", L"0000012A", L"00000130", L"00000201", L"00000305"}) {
        const mrvErrorCode* entry = mrvLanguages::FindErrorCode(code);
        ASSERT_NE(entry, nullptr) << mrvUtils::W2M(code);
        used.insert(used.end(), {entry->captionId, entry->textId == 4294967295u ? 1u : entry->textId}); // own text
    }
    const mrvConfig file(folder + L"\\quillor.xml");
    std::vector<std::wstring> names;
    for (const mrvConfigNode& node : file.GetRoot().children) {
        if (node.name != L"language")
            continue;
        names.push_back(node.GetAttribute(L"name"));
        std::map<UINT, std::wstring> byId;
        for (const mrvConfigNode& t : node.children)
            byId[mrvUtils::ReadUnsigned(mrvUtils::W2M(t.GetAttribute(L"id")))] = t.text;
        for (const UINT id : used)
            EXPECT_FALSE(byId[id].empty()) << mrvUtils::W2M(names.back()) << " text " << id;
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"en", L"de"}));
}
