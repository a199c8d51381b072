#include "json.h"
#include <cstdlib>
#include <cstring>

namespace {

class Reader {
public:
    explicit Reader(const std::string& text) : m_Text(text) {}

    bool Document(Json& out)
    {
        return Value(out) && (Skip(), m_Pos == m_Text.size());
    }

private:
    void Skip()
    {
        while (m_Pos < m_Text.size() && std::strchr(" \t\r\n", m_Text[m_Pos]))
            ++m_Pos;
    }
    bool Take(char c)
    {
        Skip();
        if (m_Pos >= m_Text.size() || m_Text[m_Pos] != c)
            return false;
        ++m_Pos;
        return true;
    }
    bool Word(const char* word)
    {
        if (m_Text.compare(m_Pos, std::strlen(word), word) != 0)
            return false;
        m_Pos += std::strlen(word);
        return true;
    }
    bool Str(std::string& out)
    {
        if (!Take('"'))
            return false;
        while (m_Pos < m_Text.size() && m_Text[m_Pos] != '"') {
            char c = m_Text[m_Pos++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\') {
                if (m_Pos >= m_Text.size())
                    return false;
                const char e = m_Text[m_Pos++];
                const char* from = "\"\\/bfnrt";
                const char* to = "\"\\/\b\f\n\r\t";
                if (e == 'u') {
                    if (m_Pos + 4 > m_Text.size())
                        return false;
                    const long unit = std::strtol(m_Text.substr(m_Pos, 4).c_str(), nullptr, 16);
                    m_Pos += 4;
                    if (unit >= 0x80)
                        return false;
                    c = static_cast<char>(unit);
                } else if (const char* at = std::strchr(from, e)) {
                    c = to[at - from];
                } else {
                    return false;
                }
            }
            out += c;
        }
        return Take('"');
    }
    bool Value(Json& out)
    {
        Skip();
        if (m_Pos >= m_Text.size())
            return false;
        const char c = m_Text[m_Pos];
        if (c == '{') {
            out.type = Json::Object;
            ++m_Pos;
            if (Take('}'))
                return true;
            do {
                std::string name;
                if (!Str(name) || !Take(':') || !Value(out.fields[name]))
                    return false;
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            out.type = Json::Array;
            ++m_Pos;
            if (Take(']'))
                return true;
            do {
                out.items.emplace_back();
                if (!Value(out.items.back()))
                    return false;
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') {
            out.type = Json::String;
            return Str(out.text);
        }
        if (Word("null"))
            return true;
        if (Word("true") || Word("false")) {
            out.type = Json::Bool;
            out.flag = m_Text[m_Pos - 4] == 't';
            return true;
        }
        char* end = nullptr;
        out.type = Json::Number;
        out.number = std::strtod(m_Text.c_str() + m_Pos, &end);
        if (end == m_Text.c_str() + m_Pos)
            return false;
        m_Pos = static_cast<size_t>(end - m_Text.c_str());
        return true;
    }

    const std::string& m_Text;
    size_t m_Pos = 0;
};

} // namespace

bool ParseJson(const std::string& text, Json& out)
{
    out = Json();
    return Reader(text).Document(out);
}
