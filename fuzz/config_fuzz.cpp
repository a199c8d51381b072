// Feeds arbitrary bytes as a language file: the product's parsing step hands them
// to TinyXML, its tree builder turns the document into configuration nodes (with a portable
// UTF-8 conversion in place of mrvUtils::M2W), and the tree is walked the way
// the language catalogue reads it.
#include "configtree.h"
#include "support/check.h"
#include "support/utf16.h"
#include "textrules.h"
#include <cstddef>
#include <cstdint>
#include <tinyxml.h>

using mrvAPI::mrvConfigNode;

namespace {

std::wstring Widen(const std::string& utf8)
{
    return fuzzsupport::Utf8ToUtf16(utf8);
}

// The catalogue reads numbers from narrow text; code units below 128 are the same
// in every ANSI code page, the rest only has to come out as something.
std::string Narrow(const std::wstring& wide)
{
    std::string narrow;
    for (wchar_t c : wide)
        narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
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
