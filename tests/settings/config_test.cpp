#include "config.h"
#include "exception.h"
#include "temp_folder.h"
#include "utils.h"
#include <gtest/gtest.h>
#include <vector>

using namespace mrvAPI;
using qsmtest::TempFolder;

namespace {

std::vector<std::wstring> ChildNames(const mrvConfigNode& node)
{
    std::vector<std::wstring> names;
    for (const mrvConfigNode& child : node.children)
        names.push_back(child.name);
    return names;
}

} // namespace

class ConfigTree : public ::testing::Test {
protected:
    mrvConfig Load(const std::string& xml) { return mrvConfig(m_Folder.Write(L"test.xml", xml)); }

    TempFolder m_Folder;
};

TEST_F(ConfigTree, MissingOrBrokenFileIsNotInstalled)
{
    const struct {
        const char* what;
        const char* xml; // nullptr: no file at all
    } cases[] = {
        {"missing file", nullptr},
        {"empty file", ""},
        {"blanks only", "  \r\n "},
        {"wrong end tag", "<root><a></b></root>"},
        {"unclosed root", "<root><a/>"},
        {"unterminated attribute", "<root a=\"1></root>"},
        {"plain text", "no markup here"},
    };
    for (const auto& c : cases) {
        const std::wstring fileName = c.xml ? m_Folder.Write(L"broken.xml", c.xml) : m_Folder.FileName(L"none.xml");
        try {
            mrvConfig config(fileName);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const mrvException& e) {
            EXPECT_EQ(e.GetCode(), mrvE_FAIL) << c.what;
            ASSERT_EQ(e.GetStack().size(), 1u) << c.what;
            EXPECT_EQ(e.GetStack()[0].rfind("Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> [",
                                            0),
                      0u)
                << c.what << ": " << e.GetStack()[0];
        }
    }
}

// TinyXML steps over a UTF-8 sequence by its first byte without looking for the end
// of the text: a text that ends after such a byte made it read on behind the end.
// The text ends at a zero byte; what lies behind it must not make a document.
TEST_F(ConfigTree, TextEndsAtTheFirstZeroByteEvenInsideAUtf8Sequence)
{
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const struct {
        const char* what;
        std::string xml;
    } cases[] = {
        {"four-byte lead, then the end tag behind the zero bytes",
         declaration + "<r>\xF0" + std::string(3, '\0') + "</r>"},
        {"three-byte lead", declaration + "<r>x\xE0" + std::string(2, '\0') + "</r>"},
        {"lead byte last in the file", declaration + "<r>Gr\xC3"},
    };
    for (const auto& c : cases) {
        try {
            mrvConfig config = Load(c.xml);
            ADD_FAILURE() << c.what << ": loaded, root <" << mrvUtils::W2M(config.GetRoot().name) << ">";
        } catch (const mrvException& e) {
            ASSERT_EQ(e.GetStack().size(), 1u) << c.what;
            EXPECT_EQ(e.GetStack()[0].rfind("Config file not installed!", 0), 0u) << c.what;
        }
    }
}

TEST_F(ConfigTree, LineEndsAndZeroBytes)
{
    // CR LF and a lone CR both read as one line feed, as TinyXML's own file loading
    // does (an attribute keeps them; element texts condense blanks anyway), and
    // nothing behind a zero byte is read.
    mrvConfig config = Load(std::string("<root a=\"x\r\ny\rz\">one</root>") + '\0' + "<garbage");
    EXPECT_EQ(config.GetRoot().GetAttribute(L"a"), L"x\ny\nz");
    EXPECT_EQ(config.GetRoot().text, L"one");
}

TEST_F(ConfigTree, TextThenChildElementsKeepsBoth)
{
    mrvConfig config = Load("<root>Hello <a x=\"1\"/>middle<b>B</b>tail<c><d>deep</d></c></root>");
    const mrvConfigNode& root = config.GetRoot();
    EXPECT_EQ(root.name, L"root");
    EXPECT_EQ(root.text, L"Hello");
    EXPECT_EQ(ChildNames(root), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    auto it = root.children.begin();
    EXPECT_EQ(it->text, L"");
    EXPECT_EQ(it->GetAttribute(L"x"), L"1");
    EXPECT_EQ((++it)->text, L"B");
    ++it;
    EXPECT_EQ(it->text, L"");
    ASSERT_EQ(it->children.size(), 1u);
    EXPECT_EQ(it->children.front().name, L"d");
    EXPECT_EQ(it->children.front().text, L"deep");
}

TEST_F(ConfigTree, CommentsAreNeverKept)
{
    mrvConfig config = Load("<?xml version=\"1.0\"?><!-- before --><root><!-- first -->text<a><!--x--></a>"
                            "<!-- between --><b/></root><!-- after -->");
    const mrvConfigNode& root = config.GetRoot();
    EXPECT_EQ(root.text, L""); // a comment comes first
    EXPECT_EQ(ChildNames(root), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(root.children.front().children.empty());
}

TEST_F(ConfigTree, Attributes)
{
    mrvConfig config = Load("<root zeta=\"3\" alpha=\"1\" empty=\"\" amp=\"a &amp; b &lt;c&gt;\"/>");
    const mrvConfigNode& root = config.GetRoot();
    const std::map<std::wstring, std::wstring> expected{
        {L"alpha", L"1"}, {L"amp", L"a & b <c>"}, {L"empty", L""}, {L"zeta", L"3"}};
    EXPECT_EQ(root.attributes, expected);
    EXPECT_EQ(root.GetAttribute(L"zeta"), L"3");
    EXPECT_EQ(root.GetAttribute(L"missing"), L"");
    EXPECT_EQ(root.GetAttribute(L"ALPHA"), L""); // names are compared exactly
    EXPECT_TRUE(root.children.empty());
}

TEST_F(ConfigTree, Utf8NamesAndTexts)
{
    const std::string body = "<wurzel><stra\xC3\x9F" "e gr\xC3\xB6\xC3\x9F" "e=\"gro\xC3\x9F\">Gr\xC3\xBC\xC3\x9F" "e "
                             "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80</stra\xC3\x9F" "e></wurzel>";
    const std::wstring element = L"stra\u00DFe";
    const std::wstring text = L"Gr\u00FC\u00DFe \u65E5\u672C \xD83D\xDE00";
    const struct {
        const char* what;
        std::string prefix;
    } cases[] = {
        {"declared UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"},
        {"byte order mark", "\xEF\xBB\xBF"},
        {"no declaration", ""},
    };
    for (const auto& c : cases) {
        mrvConfig config = Load(c.prefix + body);
        const mrvConfigNode& root = config.GetRoot();
        EXPECT_EQ(root.name, L"wurzel") << c.what;
        ASSERT_EQ(root.children.size(), 1u) << c.what;
        const mrvConfigNode& child = root.children.front();
        EXPECT_EQ(child.name, element) << c.what;
        EXPECT_EQ(child.text, text) << c.what;
        EXPECT_EQ(child.GetAttribute(L"gr\u00F6\u00DFe"), L"gro\u00DF") << c.what;
    }
}

TEST_F(ConfigTree, CharacterReferencesInDeclaredUtf8)
{
    mrvConfig config = Load("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root t=\"&#xE9;&#233;\">&#x65E5;</root>");
    EXPECT_EQ(config.GetRoot().GetAttribute(L"t"), L"\u00E9\u00E9");
    EXPECT_EQ(config.GetRoot().text, L"\u65E5");
}
