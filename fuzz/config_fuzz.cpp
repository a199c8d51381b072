// Feeds arbitrary bytes as a language file: the product's parsing step hands them
// to TinyXML and its tree builder turns the document into configuration nodes, which
// must mirror TinyXML's elements. Each byte widens to one unit in place of
// mrvUtils::M2W: the tree's shape does not depend on the encoding.
#include "configtree.h"
#include <cassert>
#include <cstdint>
#include <tinyxml.h>

using mrvAPI::mrvConfigNode;

namespace {

std::wstring Widen(const std::string& bytes)
{
    return std::wstring(bytes.begin(), bytes.end());
}

void Walk(const mrvConfigNode& node, const TiXmlElement& element)
{
    assert(node.name == Widen(element.Value()));
    assert(node.text == (element.GetText() ? Widen(element.GetText()) : std::wstring()));
    for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
        assert(node.GetAttribute(Widen(a->Name())) == Widen(a->Value()));
    const TiXmlElement* child = element.FirstChildElement();
    for (const mrvConfigNode& childNode : node.children) {
        assert(child != nullptr);
        Walk(childNode, *child);
        child = child->NextSiblingElement();
    }
    assert(child == nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TiXmlDocument document;
    if (!mrvAPI::ParseConfigText(document, std::string(reinterpret_cast<const char*>(data), size))) {
        assert(document.Error());
        return 0;
    }
    mrvConfigNode tree;
    if (const TiXmlElement* root = document.RootElement()) {
        mrvAPI::FillConfigNode(tree, *root, &Widen);
        Walk(tree, *root);
    }
    return 0;
}
