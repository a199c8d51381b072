// Feeds arbitrary bytes as a language file: the product's parsing step hands them
// to TinyXML, its tree builder turns the document into configuration nodes, and the
// tree is walked the way the language catalogue reads it. Each byte widens to one
// unit in place of mrvUtils::M2W: the tree's shape does not depend on the encoding.
#include "configtree.h"
#include "support/check.h"
#include "textrules.h"
#include <cstddef>
#include <cstdint>
#include <tinyxml.h>

using mrvAPI::mrvConfigNode;

namespace {

std::wstring Widen(const std::string& bytes)
{
    return std::wstring(bytes.begin(), bytes.end());
}

std::string Narrow(const std::wstring& wide)
{
    return std::string(wide.begin(), wide.end());
}

size_t CountElements(const TiXmlElement& element)
{
    size_t count = 1;
    for (const TiXmlElement* child = element.FirstChildElement(); child; child = child->NextSiblingElement())
        count += CountElements(*child);
    return count;
}

size_t Walk(const mrvConfigNode& node, const TiXmlElement& element)
{
    FUZZ_CHECK(node.name == Widen(element.Value()));
    FUZZ_CHECK(node.text == (element.GetText() ? Widen(element.GetText()) : std::wstring()));
    for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
        FUZZ_CHECK(node.attributes.count(Widen(a->Name())) == 1);
    for (const auto& attribute : node.attributes)
        FUZZ_CHECK(node.GetAttribute(attribute.first) == attribute.second);
    FUZZ_CHECK(node.GetAttribute(L"\x1 no such attribute").empty());

    // What the catalogue does with every node it keeps.
    (void)mrvAPI::ReadUnsignedDecimal(Narrow(node.GetAttribute(L"id")));
    (void)mrvAPI::ReplaceLineBreakEscapes(node.text);

    size_t count = 1;
    const TiXmlElement* child = element.FirstChildElement();
    for (const mrvConfigNode& childNode : node.children) {
        FUZZ_CHECK(child != nullptr);
        count += Walk(childNode, *child);
        child = child->NextSiblingElement();
    }
    FUZZ_CHECK(child == nullptr);
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    if (!mrvAPI::ParseConfigText(document, bytes)) {
        FUZZ_CHECK(document.Error());
        return 0;
    }
    const TiXmlElement* root = document.RootElement();
    if (!root)
        return 0;
    mrvConfigNode tree;
    mrvAPI::FillConfigNode(tree, *root, &Widen);
    FUZZ_CHECK(Walk(tree, *root) == CountElements(*root));
    return 0;
}
