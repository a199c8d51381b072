#include "config.h"
#include "exception.h"
#include "temp_folder.h"
#include "utils.h"
#include <gtest/gtest.h>
#include <vector>

using namespace mrvAPI;
using qsmtest::TempFolder;

class ConfigTree : public ::testing::Test {
protected:
    mrvConfig Load(const std::string& xml) { return mrvConfig(m_Folder.Write(L"test.xml", xml)); }

    TempFolder m_Folder;
};

// TinyXML steps over a UTF-8 sequence by its first byte without looking for the end
// of the text: a text that ended after such a byte made it read on behind the end.
// The text ends at a zero byte; what lies behind it must not make a document.
TEST_F(ConfigTree, MissingBrokenOrCutFileIsNotInstalled)
{
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const struct {
        const char* what;
        const char* xml; // nullptr: no file at all
        size_t length;
    } cases[] = {
        {"missing file", nullptr, 0},
        {"empty file", "", 0},
        {"wrong end tag", "<root><a></b></root>", 20},
        {"four-byte lead, then the end tag behind the zero bytes", "<r>\xF0\0\0\0</r>", 11},
        {"three-byte lead", "<r>x\xE0\0\0</r>", 11},
        {"lead byte last in the file", "<r>Gr\xC3", 6},
    };
    for (const auto& c : cases) {
        const std::string bytes = c.length ? declaration + std::string(c.xml, c.length) : std::string();
        const std::wstring fileName = c.xml ? m_Folder.Write(L"broken.xml", bytes) : m_Folder.FileName(L"none.xml");
        try {
            mrvConfig config(fileName);
            ADD_FAILURE() << c.what << ": loaded, root <" << mrvUtils::W2M(config.GetRoot().name) << ">";
        } catch (const mrvException& e) {
            EXPECT_EQ(e.GetCode(), mrvE_FAIL) << c.what;
            ASSERT_EQ(e.GetStack().size(), 1u) << c.what;
            EXPECT_EQ(e.GetStack()[0].rfind("Config file not installed! Caused in <mrvAPI::mrvConfig::mrvConfig()> [", 0),
                      0u)
                << c.what << ": " << e.GetStack()[0];
        }
    }
}

TEST_F(ConfigTree, LineEndsAndZeroBytes)
{
    // CR LF and a lone CR both read as one line feed, as TinyXML's own file loading
    // does, and nothing behind a zero byte is read.
    mrvConfig config = Load(std::string("<root a=\"x\r\ny\rz\">one</root>") + '\0' + "<garbage");
    EXPECT_EQ(config.GetRoot().GetAttribute(L"a"), L"x\ny\nz");
    EXPECT_EQ(config.GetRoot().text, L"one");
}

TEST_F(ConfigTree, ElementsTextsAndAttributes)
{
    mrvConfig config = Load("<!-- before --><root zeta=\"3\" empty=\"\">Hello <a x=\"1\"/>middle<!-- c --><b>B</b>"
                            "tail<c><d>deep</d></c></root>");
    const mrvConfigNode& root = config.GetRoot();
    EXPECT_EQ(root.name, L"root");
    EXPECT_EQ(root.text, L"Hello");
    EXPECT_EQ(root.attributes, (std::map<std::wstring, std::wstring>{{L"empty", L""}, {L"zeta", L"3"}}));
    EXPECT_EQ(root.GetAttribute(L"missing"), L"");
    EXPECT_EQ(root.GetAttribute(L"ZETA"), L""); // names are compared exactly
    std::vector<std::wstring> names;
    for (const mrvConfigNode& child : root.children)
        names.push_back(child.name + L"=" + child.text); // comments are no children
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a=", L"b=B", L"c="}));
    EXPECT_EQ(root.children.front().GetAttribute(L"x"), L"1");
    ASSERT_EQ(root.children.back().children.size(), 1u);
    EXPECT_EQ(root.children.back().children.front().text, L"deep");
}

TEST_F(ConfigTree, Utf8NamesAndTexts)
{
    const std::string body = "<wurzel><stra\xC3\x9F" "e gr\xC3\xB6\xC3\x9F" "e=\"gro\xC3\x9F\">Gr\xC3\xBC\xC3\x9F" "e "
                             "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80</stra\xC3\x9F" "e></wurzel>";
    for (const char* prefix : {"\xEF\xBB\xBF", ""}) { // with a byte order mark and without a declaration
        mrvConfig config = Load(prefix + body);
        ASSERT_EQ(config.GetRoot().children.size(), 1u) << prefix;
        const mrvConfigNode& child = config.GetRoot().children.front();
        EXPECT_EQ(child.name, L"stra\u00DFe");
        EXPECT_EQ(child.text, L"Gr\u00FC\u00DFe \u65E5\u672C \xD83D\xDE00");
        EXPECT_EQ(child.GetAttribute(L"gr\u00F6\u00DFe"), L"gro\u00DF");
    }
}
