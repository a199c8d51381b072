#include "config.h"
#include "exception.h"
#include "utils.h"
#include <tinyxml.h>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\config";

std::wstring Wide(const char* text)
{
    return text ? mrvUtils::M2W(text) : std::wstring();
}

void Fill(mrvConfigNode& node, const TiXmlElement& element)
{
    node.name = Wide(element.Value());
    node.text = Wide(element.GetText());
    for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
        node.attributes[Wide(a->Name())] = Wide(a->Value());
    for (const TiXmlElement* child = element.FirstChildElement(); child; child = child->NextSiblingElement()) {
        node.children.emplace_back();
        Fill(node.children.back(), *child);
    }
}

} // namespace

std::wstring mrvConfigNode::GetAttribute(const std::wstring& attributeName) const
{
    const auto it = attributes.find(attributeName);
    return it == attributes.end() ? std::wstring() : it->second;
}

mrvConfig::mrvConfig(const std::wstring& fileName)
{
    TiXmlDocument document(mrvUtils::W2M(fileName).c_str());
    if (!document.LoadFile())
        throw mrvException(mrvE_FAIL, "Config file not installed!", "mrvAPI::mrvConfig::mrvConfig", kFile, __LINE__);
    if (const TiXmlElement* root = document.RootElement())
        Fill(m_Root, *root);
}

} // namespace mrvAPI
