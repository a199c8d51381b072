#pragma once
// Reading a configuration file into the configuration tree. Free of Windows
// headers: the caller passes the UTF-8 to wide conversion (the product passes
// mrvUtils::M2W), so the tree can be built and fuzzed on any platform.
#include "config.h"
#include <string>

class TiXmlDocument;
class TiXmlElement;

namespace mrvAPI {

using mrvWidenFunction = std::wstring (*)(const std::string& utf8);

// Parses a file's bytes as TiXmlDocument::LoadFile does (the text up to the first
// zero byte, CR LF and a lone CR read as LF, default encoding); false when the
// text is not a well-formed document.
bool ParseConfigText(TiXmlDocument& document, const std::string& bytes);

// Fills node from element: name, text, attributes and child elements, depth first.
void FillConfigNode(mrvConfigNode& node, const TiXmlElement& element, mrvWidenFunction widen);

} // namespace mrvAPI
