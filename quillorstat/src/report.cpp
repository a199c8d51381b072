#include "report.h"
#include "language.h"
#include "maindlg.h"
#include "monitor.h"
#include "utils.h"
#include <algorithm>

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

std::wstring Percent(const std::optional<UINT>& value)
{
    return value ? std::to_wstring(mrvMonitor::BarPosition(*value)) + L" %" : L"-";
}

std::wstring OrDash(const std::optional<std::string>& text)
{
    return text && !text->empty() ? mrvUtils::M2W(*text) : L"-";
}

mrvErrorMessage ErrorOf(const PrinterReport& p)
{
    return mrvLanguages::ComposeError(mrvUtils::M2W(p.errorCode), p.errorText);
}

std::wstring Problem(const PrinterReport& p, const std::wstring& unreachable)
{
    return p.connected ? kSilent : unreachable;
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
                swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
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

std::wstring PromLabels(const PrinterReport& p)
{
    const auto escape = [](const std::wstring& text) {
        std::wstring out;
        for (wchar_t c : text) {
            if (c == L'\\' || c == L'"')
                out += L'\\';
            if (c == L'\n')
                out += L"\\n";
            else
                out += c;
        }
        return out;
    };
    return L"{printer=\"" + escape(p.name) + L"\",port=\"" + escape(p.port) + L"\"}";
}

// Plugin perfdata labels may hold anything but quotes and equals signs.
std::wstring PerfLabel(const PrinterReport& p, const wchar_t* what)
{
    std::wstring label = p.name + L" " + what;
    std::replace(label.begin(), label.end(), L'\'', L'_');
    std::replace(label.begin(), label.end(), L'=', L'_');
    return L"'" + label + L"'";
}

// Of two states the worse: a printer that cannot be read hides more than a warning.
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

std::wstring FormatTable(const std::vector<PrinterReport>& printers, const std::wstring& unreachable)
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
    for (const PrinterReport& p : printers) {
        if (!out.empty())
            out += L"\n";
        out += mrvMainDialog::MakeTitle(p.name, p.port) + L"\n";
        if (!p.answered) {
            out += L"  " + Problem(p, unreachable) + L"\n";
            continue;
        }
        out += line(labels[0], p.status ? StatusText(p.status) : L"-");
        out += line(labels[1], Percent(p.ink));
        out += line(labels[2], Percent(p.uv));
        if (p.number)
            out += L"  " + mrvMonitor::NumberLine(*p.number) + L"\n";
        out += line(labels[3], OrDash(p.materialCode));
        out += line(labels[4], OrDash(p.jobName));
        out += line(labels[5], std::to_wstring(p.queuedJobs));
        if (p.hasError) {
            const mrvErrorMessage error = ErrorOf(p);
            out += line(labels[6], error.caption + L"\n" + error.text);
        } else {
            out += line(labels[6], L"none");
        }
    }
    return out;
}

std::wstring FormatJson(const std::vector<PrinterReport>& printers, const std::wstring& version)
{
    std::wstring out = L"{\n  \"program\": \"quillorstat\",\n  \"version\": " + JsonString(version) +
                       L",\n  \"printers\": [";
    bool first = true;
    for (const PrinterReport& p : printers) {
        out += first ? L"\n" : L",\n";
        first = false;
        const bool a = p.answered;
        out += L"    {\n";
        out += L"      \"name\": " + JsonString(p.name) + L",\n";
        out += L"      \"port\": " + JsonString(p.port) + L",\n";
        out += L"      \"reachable\": " + std::wstring(a ? L"true" : L"false") + L",\n";
        out += L"      \"status_code\": " + (a && p.status ? std::to_wstring(p.status) : L"null") + L",\n";
        out += L"      \"status_text\": " + (a && p.status ? JsonString(StatusText(p.status)) : L"null") + L",\n";
        const auto percent = [](const std::optional<UINT>& v) {
            return v ? std::optional<UINT>(mrvMonitor::BarPosition(*v)) : std::nullopt;
        };
        out += L"      \"ink_percent\": " + JsonNumber(percent(p.ink)) + L",\n";
        out += L"      \"uv_percent\": " + JsonNumber(percent(p.uv)) + L",\n";
        out += L"      \"number\": " + JsonNumber(p.number) + L",\n";
        out += L"      \"number_line\": " + (p.number ? JsonString(mrvMonitor::NumberLine(*p.number)) : L"null") + L",\n";
        out += L"      \"material_code\": " + JsonText(p.materialCode) + L",\n";
        out += L"      \"job_name\": " + JsonText(p.jobName) + L",\n";
        out += L"      \"queue_jobs\": " + std::to_wstring(p.queuedJobs) + L",\n";
        if (p.hasError) {
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

std::wstring FormatPrometheus(const std::vector<PrinterReport>& printers)
{
    struct Gauge {
        const wchar_t* name;
        const wchar_t* help;
        std::optional<UINT> (*value)(const PrinterReport&);
    };
    static const Gauge gauges[] = {
        {L"quillor_up", L"1 when the printer's language monitor answered.",
         [](const PrinterReport& p) { return std::optional<UINT>(p.answered ? 1 : 0); }},
        {L"quillor_ink_level_percent", L"Ink level in percent, as the status window's bar shows it.",
         [](const PrinterReport& p) {
             return p.ink ? std::optional<UINT>(mrvMonitor::BarPosition(*p.ink)) : std::nullopt;
         }},
        {L"quillor_uv_lamp_percent", L"UV lamp value in percent, as the status window's bar shows it.",
         [](const PrinterReport& p) {
             return p.uv ? std::optional<UINT>(mrvMonitor::BarPosition(*p.uv)) : std::nullopt;
         }},
        {L"quillor_printer_error", L"1 while the printer reports an error.",
         [](const PrinterReport& p) {
             return p.answered ? std::optional<UINT>(p.hasError ? 1 : 0) : std::nullopt;
         }},
        {L"quillor_queue_jobs", L"Jobs in the printer's spooler queue.",
         [](const PrinterReport& p) { return std::optional<UINT>(p.queuedJobs); }},
    };
    std::wstring out;
    for (const Gauge& gauge : gauges) {
        out += L"# HELP " + std::wstring(gauge.name) + L" " + gauge.help + L"\n";
        out += L"# TYPE " + std::wstring(gauge.name) + L" gauge\n";
        for (const PrinterReport& p : printers)
            if (const auto value = gauge.value(p))
                out += gauge.name + PromLabels(p) + L" " + std::to_wstring(*value) + L"\n";
    }
    return out;
}

std::wstring FormatCheck(const std::vector<PrinterReport>& printers, const CheckLimits& limits,
                         const std::wstring& unreachable, CheckState& state)
{
    struct Finding {
        CheckState state;
        std::wstring text;
    };
    std::vector<Finding> findings;
    std::wstring summary;
    std::wstring perf;
    const auto level = [&](const PrinterReport& p, const std::optional<UINT>& raw, const wchar_t* what,
                           const wchar_t* perfName) {
        if (!raw) {
            findings.push_back({kUnknown, p.name + L" " + what + L" unknown"});
            return;
        }
        const UINT value = mrvMonitor::BarPosition(*raw);
        const std::wstring text = p.name + L" " + what + L" " + std::to_wstring(value) + L"%";
        if (value < limits.crit)
            findings.push_back({kCritical, text});
        else if (value < limits.warn)
            findings.push_back({kWarning, text});
        summary += (summary.empty() ? L"" : L", ") + text;
        perf += L" " + PerfLabel(p, perfName) + L"=" + std::to_wstring(value) + L"%;" + std::to_wstring(limits.warn) +
                L":;" + std::to_wstring(limits.crit) + L":;0;100";
    };
    for (const PrinterReport& p : printers) {
        if (!p.answered) {
            findings.push_back({kUnknown, p.name + L": " + Problem(p, unreachable)});
            continue;
        }
        if (p.hasError)
            findings.push_back({kCritical, p.name + L" error " + ErrorOf(p).caption});
        level(p, p.ink, L"ink", L"ink");
        level(p, p.uv, L"UV", L"uv");
        perf += L" " + PerfLabel(p, L"queue") + L"=" + std::to_wstring(p.queuedJobs) + L";;;0";
    }
    state = kOk;
    for (const Finding& f : findings)
        if (Rank(f.state) > Rank(state))
            state = f.state;
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return Rank(a.state) > Rank(b.state); });
    std::wstring text;
    for (const Finding& f : findings)
        text += (text.empty() ? L"" : L", ") + f.text;
    if (text.empty())
        text = summary;
    static const wchar_t* const names[] = {L"OK", L"WARNING", L"CRITICAL", L"UNKNOWN"};
    std::wstring result = L"QUILLOR " + std::wstring(names[state]) + L" - " + text;
    if (!perf.empty())
        result += L" |" + perf;
    return result + L"\n";
}
