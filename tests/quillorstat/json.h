#pragma once
// Just enough of a JSON reader to check quillorstat's document: every value kind,
// strings kept as UTF-8, \u escapes of the ASCII range only.
#include <map>
#include <string>
#include <vector>

struct Json {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& name) const
    {
        static const Json missing;
        const auto it = fields.find(name);
        return it == fields.end() ? missing : it->second;
    }
    bool Has(const std::string& name) const { return fields.count(name) != 0; }
};

// False unless the whole text is one well-formed value.
bool ParseJson(const std::string& text, Json& out);
