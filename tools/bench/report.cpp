#include "report.h"
#include "measure.h"
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

namespace {

std::string Number(double value)
{
    if (std::isnan(value))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 100 ? "%.1f" : "%.3f", value);
    return text;
}

std::string JsonNumber(double value)
{
    if (std::isnan(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            continue;
        out += c;
    }
    return out + "\"";
}

std::string Pad(std::string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

} // namespace

void Report::Add(const std::string& item, const std::string& name, const std::string& unit,
                 const std::vector<double>& v, const std::string& target, int met)
{
    const bool single = v.size() == 1;
    m_Figures.push_back(Figure{item, name, unit, single ? v[0] : Median(v), single ? NAN : Percentile(v, 0.95),
                               static_cast<int>(v.size()), target, met});
}

std::vector<Figure> Report::Sorted() const
{
    std::vector<Figure> figures = m_Figures;
    std::stable_sort(figures.begin(), figures.end(),
                     [](const Figure& a, const Figure& b) { return a.item < b.item; });
    return figures;
}

std::string Report::Table() const
{
    std::string out = "machine: " + m_Machine + "\n\n";
    out += Pad("item", 14) + Pad("figure", 50) + Pad("median", 10) + Pad("p95", 10) + Pad("unit", 6) +
           Pad("n", 5) + "target\n";
    for (const Figure& f : Sorted()) {
        std::string target = f.target;
        if (f.met >= 0)
            target += f.met ? "  met" : "  MISSED";
        out += Pad(f.item, 14) + Pad(f.name, 50) + Pad(Number(f.median), 10) + Pad(Number(f.p95), 10) +
               Pad(f.unit, 6) + Pad(std::to_string(f.samples), 5) + target + "\n";
    }
    for (const std::string& note : m_Notes)
        out += "note: " + note + "\n";
    return out;
}

std::string Report::Json() const
{
    std::string out = "{\n  \"machine\": " + JsonText(m_Machine) + ",\n  \"figures\": [\n";
    const std::vector<Figure> figures = Sorted();
    for (size_t i = 0; i < figures.size(); ++i) {
        const Figure& f = figures[i];
        out += "    {\"item\": " + JsonText(f.item) + ", \"name\": " + JsonText(f.name) +
               ", \"unit\": " + JsonText(f.unit) + ", \"median\": " + JsonNumber(f.median) +
               ", \"p95\": " + JsonNumber(f.p95) + ", \"samples\": " + std::to_string(f.samples) +
               ", \"target\": " + JsonText(f.target) + ", \"met\": " +
               (f.met < 0 ? std::string("null") : f.met ? "true" : "false") + "}";
        out += i + 1 < figures.size() ? ",\n" : "\n";
    }
    out += "  ],\n  \"notes\": [";
    for (size_t i = 0; i < m_Notes.size(); ++i)
        out += (i ? ", " : "") + JsonText(m_Notes[i]);
    return out + "]\n}\n";
}

bool Report::AllMet() const
{
    for (const Figure& f : m_Figures)
        if (f.met == 0)
            return false;
    return true;
}

} // namespace bench
