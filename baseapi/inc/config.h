#pragma once
#include <list>
#include <map>
#include <string>

namespace mrvAPI {

// One element of a configuration file, with its text, attributes and child elements.
class mrvConfigNode {
public:
    std::wstring name;
    std::wstring text;
    std::map<std::wstring, std::wstring> attributes; // see GetAttribute
    std::list<mrvConfigNode> children;               // document order

    // A missing attribute reads as an empty string.
    std::wstring GetAttribute(const std::wstring& attributeName) const;
};

// An XML file read into a tree of wide-string nodes (TinyXML underneath).
class mrvConfig {
public:
    explicit mrvConfig(const std::wstring& fileName); // throws "Config file not installed!"
    virtual ~mrvConfig() = default;
    const mrvConfigNode& GetRoot() const { return m_Root; }

private:
    mrvConfigNode m_Root;
};

} // namespace mrvAPI
