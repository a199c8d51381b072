#include "config.h"
#include "exception.h"
#include "language_fixture.h"
#include "utils.h"
#include <cstdlib>
#include <vector>

using namespace mrvAPI;

namespace {

std::wstring UserLanguageCode()
{
    wchar_t code[256] = {};
    GetLocaleInfoW(GetUserDefaultLCID(), LOCALE_SISO639LANGNAME, code, 256);
    return code;
}

// One language per name; text 1 tells which element became current.
std::string Languages(const std::vector<std::string>& names)
{
    std::string inner;
    for (size_t i = 0; i < names.size(); ++i)
        inner += "<language name=\"" + names[i] + "\"><t id=\"1\">" + names[i] + "#" + std::to_string(i) +
                 "</t></language>";
    return LanguageXml(inner);
}

} // namespace

using LocaleChoice = LanguageFile;

// Each ctest entry runs this with its own LANG and names the code it expects in QSM_LOCALE.
TEST_F(LocaleChoice, ExactNameOfTheUserLocaleElseFirst)
{
    const char* locale = std::getenv("QSM_LOCALE");
    if (!locale)
        GTEST_SKIP() << "run by the language ctest entries, which set LANG and QSM_LOCALE";
    const std::string want = locale;
    ASSERT_EQ(mrvUtils::W2M(UserLanguageCode()), want) << "the environment did not give the locale";

    const struct {
        std::vector<std::string> names;
        const char* en;
        const char* de;
        const char* fr;
    } cases[] = {
        {{"en", "de"}, "en#0", "de#1", "en#0"},
        {{"de", "en"}, "en#1", "de#0", "de#0"},
        {{"en", "DE"}, "en#0", "en#0", "en#0"}, // case counts
        {{"DE", "de"}, "DE#0", "de#1", "DE#0"},
        {{"en", "de", "de"}, "en#0", "de#1", "en#0"},
        {{"fr-FR", "fr", "en"}, "en#2", "fr-FR#0", "fr#1"},
        {{"", "xx"}, "#0", "#0", "#0"},
    };
    for (const auto& c : cases) {
        Load(Languages(c.names));
        const char* expected = want == "de" ? c.de : want == "fr" ? c.fr : c.en;
        EXPECT_EQ(mrvUtils::W2M(mrvLanguages::GetText(1)), expected) << "first language " << c.names[0];
        mrvLanguages::Clear();
    }
}

using Catalogue = LanguageFile;

// The escape and number rules have their own tables; here they are applied.
TEST_F(Catalogue, TextsOfTheCurrentLanguage)
{
    // Neither name is a locale, so the first language is current.
    Load(LanguageXml("<language name=\"xx\"><t id=\"5\">Line one\\nLine two</t><t id=\"9\"/><t id=\" 12abc\">twelve</t>"
                     "<t id=\"7\">first seven</t><other id=\"7\">second seven</other><t>no id</t></language>"
                     "<language name=\"yy\"><t id=\"5\">fuenf</t><t id=\"6\">sechs</t></language>"));
    EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), L"xx");
    const struct {
        UINT id;
        const wchar_t* text;
    } cases[] = {
        {5, L"Line one\nLine two"},
        {6, L""}, // only the other language has it
        {9, L""}, // present without text
        {12, L"twelve"},
        {7, L"second seven"}, // the later element wins, whatever its name
        {0, L"no id"},
        {4294967295u, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvLanguages::GetText(c.id), c.text) << c.id;
}

TEST_F(Catalogue, VersionTextAndOptions)
{
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"unparsed");
    const struct {
        const char* elements;
        const wchar_t* text;
    } cases[] = {
        {"", L"quillor.xml (version ?)"},
        {"<version number=\"1.3\"/><version number=\"2.0 beta\"/>", L"quillor.xml (version 2.0 beta)"},
        {"<Version number=\"9\"/>", L"quillor.xml (version ?)"}, // element names are exact
    };
    for (const auto& c : cases) {
        Load(LanguageXml(std::string(c.elements) + "<language name=\"zz\"/>"));
        EXPECT_EQ(mrvLanguages::GetVersionText(), c.text) << c.elements;
    }

    Load(LanguageXml("<option serviceql=\"svc.exe\" settingsql=\"\" conuvql=\"uv.exe\" other=\"x\"/>"
                     "<option confluidql=\"fluid.exe\" conuvql=\"uv2.exe\"/><language name=\"zz\"/>"));
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } options[] = {
        {L"serviceql", L"svc.exe"},    {L"settingsql", L"unparsed"}, // an empty attribute changes nothing
        {L"conuvql", L"uv2.exe"},      {L"confluidql", L"fluid.exe"},
        {L"smql", L"unparsed"},        {L"other", L""},
    };
    for (const auto& o : options)
        EXPECT_EQ(mrvLanguages::GetOption(o.name), o.value) << mrvUtils::W2M(o.name);
    mrvLanguages::Clear();
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"unparsed");
}

TEST_F(Catalogue, ErrorCodeTable)
{
    Load(LanguageXml("<errorCode>"
                     "<e number=\"0000012A\" captionId=\"30\" textId=\"31\" icon=\"1\"/>"
                     "<e number=\"00000201\" captionId=\"12abc\" textId=\"4294967295\" icon=\"x\"/>"
                     "<e number=\"00000202\" textId=\"-1\"/>"
                     "<e captionId=\"7\"/>"
                     "</errorCode>"
                     "<language name=\"zz\"/>"
                     "<errorCode><x number=\"0000012A\" captionId=\"40\" textId=\"41\" icon=\"2\"/></errorCode>"));
    const struct {
        const wchar_t* code;
        UINT captionId, textId, icon;
    } cases[] = {
        {L"0000012A", 40, 41, 2}, // the later entry wins
        {L"00000201", 12, 4294967295u, 0},
        {L"00000202", 0, 4294967295u, 0},
        {L"", 7, 0, 0}, // no "number": the empty key
    };
    for (const auto& c : cases) {
        const mrvErrorCode* entry = mrvLanguages::FindErrorCode(c.code);
        ASSERT_NE(entry, nullptr) << mrvUtils::W2M(c.code);
        EXPECT_EQ(entry->captionId, c.captionId) << mrvUtils::W2M(c.code);
        EXPECT_EQ(entry->textId, c.textId) << mrvUtils::W2M(c.code);
        EXPECT_EQ(entry->icon, c.icon) << mrvUtils::W2M(c.code);
    }
    EXPECT_EQ(mrvLanguages::FindErrorCode(L"0000012a"), nullptr);
    mrvLanguages::Clear();
    EXPECT_EQ(mrvLanguages::FindErrorCode(L"0000012A"), nullptr);
}

TEST_F(Catalogue, FailedLoadThrowsAndLeavesNothingLoaded)
{
    const std::string good = LanguageXml("<version number=\"1\"/><language name=\"zz\"><t id=\"1\">x</t></language>"
                                         "<errorCode><e number=\"DEFAULT\" captionId=\"1\"/></errorCode>");
    const struct {
        const char* what;
        const char* xml; // nullptr: no "Path" value
        const char* line; // the stack line begins so
    } cases[] = {
        {"no Path value", nullptr, "Failed to read configuration. (GetLastError()=2, "},
        {"broken file", "<l><language name=\"zz\"></l>",
         "Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> ["},
        {"no language", "<l><version number=\"1\"/><errorCode><e number=\"DEFAULT\"/></errorCode></l>",
         "Language file has no language. Caused in <mrvAPI::mrvLanguages::Load()> ["},
    };
    for (const auto& c : cases) {
        // A good catalogue first: the failed load must not leave any of it behind.
        Load(good);
        ASSERT_TRUE(mrvLanguages::IsLoaded());
        if (c.xml)
            Write(c.xml);
        else
            m_Registry.Remove(L"Path");
        try {
            mrvLanguages::Load();
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const mrvException& e) {
            EXPECT_EQ(e.GetCode(), mrvE_FAIL) << c.what;
            ASSERT_EQ(e.GetStack().size(), 1u) << c.what;
            EXPECT_EQ(e.GetStack()[0].rfind(c.line, 0), 0u) << c.what << ": " << e.GetStack()[0];
        }
        EXPECT_FALSE(mrvLanguages::IsLoaded()) << c.what;
        EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), L"") << c.what;
        EXPECT_EQ(mrvLanguages::GetVersionText(), L"unparsed") << c.what;
        EXPECT_EQ(mrvLanguages::FindErrorCode(L"DEFAULT"), nullptr) << c.what;
    }
    EXPECT_EQ(mrvLanguages::GetText(1), L""); // no current language: empty, not a crash (assertions are off)
}

// The file the driver installation ships, copied next to the test program by tests.cmake:
// every language must carry every text the windows and error boxes use.
TEST_F(Catalogue, ShippedFileHasEveryTextInEveryLanguage)
{
    const UINT texts[] = {1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 16, 17, 19, 20, 21, 22, 23, 25, 26, 40, 41, 42, 43, 44, 45, 46, 47};
    wchar_t exe[MAX_PATH] = {};
    const std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\')) + L"\\language_shipped";
    m_Registry.SetPath(folder);
    ASSERT_NO_THROW(mrvLanguages::Load());
    EXPECT_EQ(mrvLanguages::GetVersionText(), L"quillor.xml (version 1.0)");
    EXPECT_EQ(mrvLanguages::GetCurrentLanguageName(), UserLanguageCode() == L"de" ? L"de" : L"en");
    for (const wchar_t* option : {L"serviceql", L"settingsql", L"conuvql", L"confluidql", L"smql"})
        EXPECT_NE(mrvLanguages::GetOption(option), L"unparsed");

    mrvConfig file(folder + L"\\quillor.xml");
    std::vector<std::wstring> names;
    for (const mrvConfigNode& node : file.GetRoot().children) {
        if (node.name != L"language")
            continue;
        names.push_back(node.GetAttribute(L"name"));
        std::map<UINT, std::wstring> byId;
        for (const mrvConfigNode& t : node.children)
            byId[mrvUtils::ReadUnsigned(mrvUtils::W2M(t.GetAttribute(L"id")))] = t.text;
        const std::string language = mrvUtils::W2M(names.back());
        for (const UINT id : texts)
            EXPECT_FALSE(byId[id].empty()) << language << " text " << id;
        for (const wchar_t* errorCode : {L"DEFAULT", L"0000012A", L"00000130", L"00000201", L"00000305"}) {
            const mrvErrorCode* entry = mrvLanguages::FindErrorCode(errorCode);
            ASSERT_NE(entry, nullptr) << mrvUtils::W2M(errorCode);
            EXPECT_FALSE(byId[entry->captionId].empty()) << language << " caption of " << mrvUtils::W2M(errorCode);
            if (entry->textId != 4294967295u) {
                EXPECT_FALSE(byId[entry->textId].empty()) << language << " text of " << mrvUtils::W2M(errorCode);
            }
        }
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"en", L"de"}));
}
