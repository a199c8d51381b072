#include "configtree.h"
#include <tinyxml.h>

namespace mrvAPI {

namespace {

// TinyXML steps over a UTF-8 sequence by the length its first byte announces,
// without looking for the terminator: a text that ends inside a sequence made it
// read up to three bytes past the terminator and parse on from there. Zero bytes
// behind the text keep such a step inside the buffer and end the parse there.
constexpr size_t kParsePadding = 8;

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

bool ParseConfigText(TiXmlDocument& document, const std::string& bytes)
{
    const size_t end = bytes.find('\0');
    const size_t length = end == std::string::npos ? bytes.size() : end;
    std::string text;
    text.reserve(length + kParsePadding);
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] != '\r') {
            text += bytes[i];
            continue;
        }
        text += '\n';
        if (i + 1 < length && bytes[i + 1] == '\n')
            ++i;
    }
    text.append(kParsePadding, '\0');
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
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
