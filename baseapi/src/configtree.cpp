#include "configtree.h"
#include <tinyxml.h>

namespace mrvAPI {

namespace {

std::wstring Wide(const char* text, mrvWidenFunction widen)
{
    return text ? widen(text) : std::wstring();
}

} // namespace

std::wstring mrvConfigNode::GetAttribute(const std::wstring& attributeName) const
{
    const auto it = attributes.find(attributeName);
    return it == attributes.end() ? std::wstring() : it->second;
}

void FillConfigNode(mrvConfigNode& node, const TiXmlElement& element, mrvWidenFunction widen)
{
    node.name = Wide(element.Value(), widen);
    node.text = Wide(element.GetText(), widen);
    for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
        node.attributes[Wide(a->Name(), widen)] = Wide(a->Value(), widen);
    for (const TiXmlElement* child = element.FirstChildElement(); child; child = child->NextSiblingElement()) {
        node.children.emplace_back();
        FillConfigNode(node.children.back(), *child, widen);
    }
}

} // namespace mrvAPI
