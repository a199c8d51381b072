#pragma once
// Building the configuration tree from a parsed TinyXML element. Free of Windows
// headers: the caller passes the UTF-8 to wide conversion (the product passes
// mrvUtils::M2W), so the tree can be built and fuzzed on any platform.
#include "config.h"
#include <string>

class TiXmlElement;

namespace mrvAPI {

using mrvWidenFunction = std::wstring (*)(const std::string& utf8);

// Fills node from element: name, text, attributes and child elements, depth first.
void FillConfigNode(mrvConfigNode& node, const TiXmlElement& element, mrvWidenFunction widen);

} // namespace mrvAPI
