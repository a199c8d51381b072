#include "report.h"
#include "info.h"
#include "language.h"
#include "maindlg.h"
#include "monitor.h"
#include "utils.h"
#include <algorithm>
#include <cwchar>

using namespace mrvAPI;

namespace {

const wchar_t* const kSilent = L"the language monitor does not answer";

// A window label without its colon, for a column of labels.
std::wstring Label(UINT textId)
{
    std::wstring text = mrvLanguages::GetText(textId);
    while (!text.empty() && (text.back() == L':' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::wstring StatusText(UINT status)
{
    const std::wstring text = mrvLanguages::GetText(status);
    return text.empty() ? L"status " + std::to_wstring(status) : text;
}

std::optional<UINT> Percent(const std::optional<UINT>& raw)
{
    return raw ? std::optional<UINT>(mrvMonitor::BarPosition(*raw)) : std::nullopt;
}

std::wstring PercentText(const std::optional<UINT>& raw)
{
    return raw ? std::to_wstring(*Percent(raw)) + L" %" : L"-";
}

std::wstring OrDash(const std::optional<std::string>& text)
{
    return text && !text->empty() ? mrvUtils::M2W(*text) : L"-";
}

mrvErrorMessage ErrorOf(const PrinterReport& p)
{
    return mrvLanguages::ComposeError(mrvUtils::M2W(p.errorCode), p.errorText);
}

std::wstring VersionText(const std::optional<uint64_t>& version)
{
    if (!version)
        return std::wstring();
    const std::wstring line = mrvInfo::InfLine(*version); // "quillor.inf (a.b.c.d)"
    const size_t open = line.find(L'(');
    return line.substr(open + 1, line.size() - open - 2);
}

// Continuation lines of a multi-line value line up under its first line.
std::wstring Indent(const std::wstring& text, size_t column)
{
    std::wstring out;
    for (wchar_t c : text) {
        out += c;
        if (c == L'\n')
            out.append(column, L' ');
    }
    return out;
}

std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20) {
                wchar_t escaped[8];
                std::swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

template <class T>
std::wstring JsonNumber(const std::optional<T>& value)
{
    return value ? std::to_wstring(*value) : L"null";
}

std::wstring JsonText(const std::optional<std::string>& text)
{
    return text ? JsonString(mrvUtils::M2W(*text)) : L"null";
}

std::wstring PromValue(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"')
            out += L'\\';
        out += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
    }
    return out;
}

std::wstring PromLabels(const PrinterReport& p, const std::wstring& more = std::wstring())
{
    return L"{printer=\"" + PromValue(p.name) + L"\",port=\"" + PromValue(p.port) + L"\"" + more + L"}";
}

// Plugin perfdata labels may hold anything but quotes and equals signs.
std::wstring PerfLabel(const PrinterReport& p, const wchar_t* what)
{
    std::wstring label = Visible(p.name) + L" " + what;
    std::replace(label.begin(), label.end(), L'\'', L'_');
    std::replace(label.begin(), label.end(), L'=', L'_');
    return L"'" + label + L"'";
}

std::wstring PerfData(const PrinterReport& p, const CheckLimits& limits)
{
    if (!p.finished || !p.answered)
        return std::wstring();
    std::wstring perf;
    const auto level = [&](const std::optional<UINT>& raw, const wchar_t* what, const Thresholds& t) {
        if (raw)
            perf += L" " + PerfLabel(p, what) + L"=" + std::to_wstring(*Percent(raw)) + L"%;" + t.warn.Text() + L";" +
                    t.crit.Text() + L";0;100";
    };
    level(p.ink, L"ink", limits.ink);
    level(p.uv, L"uv", limits.uv);
    if (p.queuedJobs)
        perf += L" " + PerfLabel(p, L"queue") + L"=" + std::to_wstring(*p.queuedJobs) + L";" + limits.queue.warn.Text() +
                L";" + limits.queue.crit.Text() + L";0";
    return perf;
}

std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* separator)
{
    std::wstring out;
    for (const auto& part : parts)
        out += (out.empty() ? L"" : separator) + part;
    return out;
}

// What --check says of one printer: its problems, or its values when it has none.
std::wstring CheckText(const Verdict& v)
{
    return v.problems.empty() ? v.values : Join(v.problems, L", ");
}

int Rank(CheckState state)
{
    switch (state) {
    case kOk: return 0;
    case kWarning: return 1;
    case kUnknown: return 2;
    case kCritical: return 3;
    }
    return 2;
}

} // namespace

const wchar_t* StateName(CheckState state)
{
    static const wchar_t* const names[] = {L"OK", L"WARNING", L"CRITICAL", L"UNKNOWN"};
    return names[state];
}

CheckState Worse(CheckState a, CheckState b)
{
    return Rank(b) > Rank(a) ? b : a;
}

std::wstring Visible(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'|': out += L'\u00A6'; break; // broken bar
        case L'\r': out += L'\u240D'; break; // symbol for carriage return
        case L'\n': out += L'\u240A'; break; // symbol for line feed
        default: out += c;
        }
    }
    return out;
}

Verdict Judge(const PrinterReport& p, const CheckLimits& limits, const RunRecord& run)
{
    Verdict v;
    if (!p.finished || !p.answered) {
        v.state = kUnknown;
        v.problems.push_back(!p.finished ? run.timeUp : p.connected ? kSilent : run.unreachable);
        return v;
    }
    std::vector<std::pair<CheckState, std::wstring>> findings;
    std::vector<std::wstring> values;
    if (p.hasError)
        findings.push_back({kCritical, L"error " + ErrorOf(p).caption});
    const auto judge = [&](const std::optional<UINT>& value, const std::wstring& text, const Thresholds& t) {
        const bool watched = t.warn.set || t.crit.set;
        if (!value) {
            if (watched)
                findings.push_back({kUnknown, text + L"unknown"});
            return;
        }
        // The queue is a value to name only when it is watched.
        if (watched || &t != &limits.queue)
            values.push_back(text);
        if (t.crit.Alerts(*value))
            findings.push_back({kCritical, text});
        else if (t.warn.Alerts(*value))
            findings.push_back({kWarning, text});
    };
    const auto level = [&](const std::optional<UINT>& raw, const wchar_t* what) {
        return std::wstring(what) + L" " + (raw ? std::to_wstring(*Percent(raw)) + L"%" : std::wstring());
    };
    judge(Percent(p.ink), level(p.ink, L"ink"), limits.ink);
    judge(Percent(p.uv), level(p.uv, L"UV"), limits.uv);
    judge(p.queuedJobs, L"queue " + (p.queuedJobs ? std::to_wstring(*p.queuedJobs) : std::wstring()), limits.queue);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const auto& a, const auto& b) { return Rank(a.first) > Rank(b.first); });
    for (const auto& [state, text] : findings) {
        v.state = Worse(v.state, state);
        v.problems.push_back(text);
    }
    v.values = Join(values, L", ");
    return v;
}

std::wstring FormatTable(const RunRecord& run)
{
    const std::wstring labels[] = {Label(7), Label(9), Label(10), Label(8), Label(23), Label(22), L"Error"};
    size_t width = 0;
    for (const auto& label : labels)
        width = std::max(width, label.size());
    const size_t column = 2 + width + 2;
    const auto line = [&](const std::wstring& label, const std::wstring& value) {
        return L"  " + label + std::wstring(column - 2 - label.size(), L' ') + Indent(value, column) + L"\n";
    };

    std::wstring out;
    for (const PrinterReport& p : run.printers) {
        if (!out.empty())
            out += L"\n";
        out += Visible(mrvMainDialog::MakeTitle(p.name, p.port)) + L"\n";
        if (!p.finished || !p.answered) {
            out += L"  " + Judge(p, CheckLimits(), run).problems.front() + L"\n";
            continue;
        }
        out += line(labels[0], p.status ? StatusText(p.status) : L"-");
        out += line(labels[1], PercentText(p.ink));
        out += line(labels[2], PercentText(p.uv));
        if (p.number)
            out += L"  " + mrvMonitor::NumberLine(*p.number) + L"\n";
        out += line(labels[3], OrDash(p.materialCode));
        out += line(labels[4], OrDash(p.jobName));
        out += line(labels[5], p.queuedJobs ? std::to_wstring(*p.queuedJobs) : L"-");
        if (p.hasError) {
            const mrvErrorMessage error = ErrorOf(p);
            out += line(labels[6], error.caption + L"\n" + error.text);
        } else {
            out += line(labels[6], L"none");
        }
    }
    return out;
}

std::wstring FormatJson(const RunRecord& run, const CheckLimits& limits)
{
    std::wstring out = L"{\n  \"schema\": 2,\n  \"program\": \"quillorstat\",\n  \"version\": " + JsonString(run.version) +
                       L",\n  \"checked_at\": " + JsonString(run.checkedAt) + L",\n  \"printers\": [";
    bool first = true;
    for (const PrinterReport& p : run.printers) {
        out += first ? L"\n" : L",\n";
        first = false;
        const Verdict v = Judge(p, limits, run);
        const bool a = p.finished && p.answered;
        const auto field = [&](const wchar_t* name, const std::wstring& value) {
            out += L"      \"" + std::wstring(name) + L"\": " + value + L",\n";
        };
        out += L"    {\n";
        field(L"name", JsonString(p.name));
        field(L"port", JsonString(p.port));
        field(L"driver", JsonString(p.driver));
        field(L"state", JsonString(StateName(v.state)));
        field(L"reason", a ? L"null" : JsonString(v.problems.front()));
        field(L"reachable", a ? L"true" : L"false");
        field(L"status_code", a && p.status ? std::to_wstring(p.status) : L"null");
        field(L"status_text", a && p.status ? JsonString(StatusText(p.status)) : L"null");
        field(L"ink_percent", JsonNumber(a ? Percent(p.ink) : std::nullopt));
        field(L"uv_percent", JsonNumber(a ? Percent(p.uv) : std::nullopt));
        field(L"number", JsonNumber(a ? p.number : std::nullopt));
        field(L"number_line", a && p.number ? JsonString(mrvMonitor::NumberLine(*p.number)) : L"null");
        field(L"material_code", JsonText(a ? p.materialCode : std::nullopt));
        field(L"job_name", JsonText(a ? p.jobName : std::nullopt));
        field(L"queue_jobs", JsonNumber(p.queuedJobs));
        if (a && p.hasError) {
            const mrvErrorMessage error = ErrorOf(p);
            out += L"      \"error\": {\n";
            out += L"        \"code\": " + JsonString(mrvUtils::M2W(p.errorCode)) + L",\n";
            out += L"        \"caption\": " + JsonString(error.caption) + L",\n";
            out += L"        \"text\": " + JsonString(error.text) + L",\n";
            out += L"        \"icon\": " + std::wstring(error.warning ? L"\"warning\"" : L"\"error\"") + L",\n";
            out += L"        \"printer_text\": " + JsonString(p.errorText) + L"\n";
            out += L"      }\n";
        } else {
            out += L"      \"error\": null\n";
        }
        out += L"    }";
    }
    out += first ? L"]\n}\n" : L"\n  ]\n}\n";
    return out;
}

std::wstring FormatPrometheus(const RunRecord& run)
{
    struct Family {
        const wchar_t* name;
        const wchar_t* help;
        // The sample's value and extra labels; no value, no sample.
        std::optional<double> (*value)(const PrinterReport&, std::wstring& labels);
    };
    static const Family families[] = {
        {L"quillor_printer_info", L"The printer as the spooler knows it; always 1.",
         [](const PrinterReport& p, std::wstring& labels) {
             labels = L",driver=\"" + PromValue(p.driver) + L"\",driver_version=\"" +
                      PromValue(VersionText(p.driverVersion)) + L"\"";
             return std::optional<double>(1);
         }},
        {L"quillor_up", L"1 when the printer's language monitor answered.",
         [](const PrinterReport& p, std::wstring&) {
             return p.finished ? std::optional<double>(p.answered ? 1 : 0) : std::nullopt;
         }},
        {L"quillor_ink_level_ratio", L"Ink level from 0 to 1, as the status window's bar shows it.",
         [](const PrinterReport& p, std::wstring&) {
             return p.finished && p.ink ? std::optional<double>(*Percent(p.ink) / 100.0) : std::nullopt;
         }},
        {L"quillor_uv_lamp_ratio", L"UV lamp value from 0 to 1, as the status window's bar shows it.",
         [](const PrinterReport& p, std::wstring&) {
             return p.finished && p.uv ? std::optional<double>(*Percent(p.uv) / 100.0) : std::nullopt;
         }},
        {L"quillor_printer_error", L"1 while the printer reports the error of the label code.",
         [](const PrinterReport& p, std::wstring& labels) {
             if (!p.finished || !p.answered)
                 return std::optional<double>();
             labels = L",code=\"" + PromValue(p.hasError ? mrvUtils::M2W(p.errorCode) : L"") + L"\"";
             return std::optional<double>(p.hasError ? 1 : 0);
         }},
        {L"quillor_queue_jobs", L"Jobs in the printer's spooler queue.",
         [](const PrinterReport& p, std::wstring&) {
             return p.finished && p.queuedJobs ? std::optional<double>(*p.queuedJobs) : std::nullopt;
         }},
    };
    std::wstring out;
    for (const Family& family : families) {
        out += L"# HELP " + std::wstring(family.name) + L" " + family.help + L"\n";
        out += L"# TYPE " + std::wstring(family.name) + L" gauge\n";
        for (const PrinterReport& p : run.printers) {
            std::wstring labels;
            if (const auto value = family.value(p, labels)) {
                wchar_t number[32];
                std::swprintf(number, 32, L"%g", *value);
                out += family.name + PromLabels(p, labels) + L" " + number + L"\n";
            }
        }
    }
    return out;
}

std::wstring FormatCheckmk(const RunRecord& run, const CheckLimits& limits)
{
    std::wstring out;
    for (const PrinterReport& p : run.printers) {
        const Verdict v = Judge(p, limits, run);
        std::wstring service = Visible(L"Printer " + p.name);
        std::replace(service.begin(), service.end(), L'"', L'\'');
        std::wstring metrics;
        const auto metric = [&](const wchar_t* name, const std::optional<UINT>& value, const wchar_t* bounds) {
            if (p.finished && p.answered && value)
                metrics += (metrics.empty() ? L"" : L"|") + std::wstring(name) + L"=" + std::to_wstring(*value) + bounds;
        };
        metric(L"ink_percent", Percent(p.ink), L";;;0;100");
        metric(L"uv_lamp_percent", Percent(p.uv), L";;;0;100");
        metric(L"queue_jobs", p.queuedJobs, L";;;0;");
        out += std::to_wstring(v.state) + L" \"" + service + L"\" " + (metrics.empty() ? L"-" : metrics) + L" " +
               Visible(CheckText(v).empty() ? StateName(v.state) : CheckText(v)) + L"\n";
    }
    return out;
}

std::wstring CheckLine(CheckState state, const std::wstring& text)
{
    return L"QUILLOR " + std::wstring(StateName(state)) + L" - " + Visible(text) + L"\n";
}

std::wstring FormatCheck(const RunRecord& run, const CheckLimits& limits, CheckState& state)
{
    state = kOk;
    std::wstring perf;
    std::vector<std::pair<Verdict, const PrinterReport*>> verdicts;
    for (const PrinterReport& p : run.printers) {
        verdicts.push_back({Judge(p, limits, run), &p});
        state = Worse(state, verdicts.back().first.state);
        perf += PerfData(p, limits);
    }
    const auto about = [](const std::pair<Verdict, const PrinterReport*>& v) {
        return v.second->name + L": " + CheckText(v.first);
    };
    std::wstring first;
    std::wstring lines;
    if (verdicts.size() == 1) {
        first = about(verdicts.front());
    } else {
        // The summary names the printers that are not OK, the worst first; one
        // line per printer follows it.
        std::stable_sort(verdicts.begin(), verdicts.end(),
                         [](const auto& a, const auto& b) { return Rank(a.first.state) > Rank(b.first.state); });
        std::vector<std::wstring> bad;
        for (const auto& v : verdicts)
            if (v.first.state != kOk)
                bad.push_back(about(v));
        first = bad.empty() ? std::to_wstring(verdicts.size()) + L" printers OK" : Join(bad, L"; ");
        for (const PrinterReport& p : run.printers) {
            const Verdict v = Judge(p, limits, run);
            lines += Visible(p.name) + L": " + StateName(v.state) + L" - " + Visible(CheckText(v)) + L"\n";
        }
    }
    std::wstring out = CheckLine(state, first);
    if (!perf.empty())
        out.insert(out.size() - 1, L" |" + perf);
    return out + lines;
}
