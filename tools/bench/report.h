#pragma once
// The figures of one benchmark run: printed as a table and written as JSON.
#include <string>
#include <vector>

namespace bench {

struct Figure {
    std::string item;   // which measurement, e.g. "1 exchange"
    std::string name;   // what was measured
    std::string unit;   // "ms", "%", "MiB", ...
    double median;
    double p95;         // NaN for a single value
    int samples;
    std::string target; // empty: no target
    int met;            // 1 met, 0 missed, -1 no target
};

class Report {
public:
    void Add(const Figure& figure) { m_Figures.push_back(figure); }
    void Add(const std::string& item, const std::string& name, const std::string& unit, const std::vector<double>& v,
             const std::string& target = std::string(), int met = -1);
    void Note(const std::string& text) { m_Notes.push_back(text); }
    void Machine(const std::string& text) { m_Machine = text; }

    std::string Table() const;
    std::string Json() const;
    bool AllMet() const;

private:
    std::vector<Figure> Sorted() const; // by item, in the order measured within one

    std::vector<Figure> m_Figures;
    std::vector<std::string> m_Notes;
    std::string m_Machine;
};

} // namespace bench
