#include "options.h"
#include <cmath>
#include <cwchar>

const wchar_t* const kUsage =
    L"quillorstat - printer status from the Quillor language monitor\n"
    L"\n"
    L"  quillorstat [--format table|json|prometheus|checkmk] [-p NAME] [-t SECONDS] [RANGES]\n"
    L"  quillorstat --check [-w RANGE] [-c RANGE] [-p NAME] [-t SECONDS] [RANGES]\n"
    L"  quillorstat --list [-t SECONDS]\n"
    L"  quillorstat --save-log NAME FILE [-t SECONDS]\n"
    L"  quillorstat -h | -V\n"
    L"\n"
    L"  --format       table (default), json (one UTF-8 document), prometheus (text\n"
    L"                 format) or checkmk (a local check, one service per printer)\n"
    L"  --check        monitoring-plugin output; exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
    L"  -w, --warn     WARNING range for ink and UV lamp in percent (default 15: below 15)\n"
    L"  -c, --crit     CRITICAL range for ink and UV lamp (default 5: below 5);\n"
    L"                 a printer error is always CRITICAL\n"
    L"  --ink-warn, --ink-crit, --uv-warn, --uv-crit\n"
    L"                 the same for ink or UV lamp alone\n"
    L"  --queue-warn, --queue-crit\n"
    L"                 ranges for the jobs in the spooler queue (none by default)\n"
    L"  -p, --printer  only this printer (case does not matter, as in Windows)\n"
    L"  --list         every printer the spooler knows, whether it is monitored and why not\n"
    L"  --save-log     the printer's log into FILE, byte for byte; no file when it fails\n"
    L"  -t, --timeout  the whole run ends within this many seconds (default 8;\n"
    L"                 with --save-log 185)\n"
    L"  -h, --help     this text; -V, --version: the program's version\n"
    L"\n"
    L"RANGE: [@]START:END; alert outside START..END, or inside it with @; ~ is no\n"
    L"lower end, an empty END no upper end, N alone is 0:N. For ink and UV lamp N\n"
    L"alone means N: (alert below N), since a level alerts when it runs low.\n"
    L"\n"
    L"Exit code without --check: 0 done, 1 a printer could not be read, the log not\n"
    L"saved or the time was up, 2 wrong arguments, 130 interrupted (Ctrl+C).\n";

namespace {

bool ReadDouble(const std::wstring& text, double& value)
{
    if (text.empty() || text.size() > 32)
        return false;
    wchar_t* end = nullptr;
    value = std::wcstod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

std::wstring Number(double value)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"%g", value);
    return text;
}

bool ReadTimeout(const std::wstring& text, DWORD& value)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    value = static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
    return value >= 1 && value <= 86400;
}

} // namespace

bool Range::Alerts(double value) const
{
    if (!set)
        return false;
    const bool within = (startInfinite || value >= start) && (endInfinite || value <= end);
    return inside ? within : !within;
}

std::wstring Range::Text() const
{
    if (!set)
        return std::wstring();
    std::wstring text = inside ? L"@" : L"";
    if (startInfinite)
        text += L"~:";
    else if (start != 0 || endInfinite)
        text += Number(start) + L":";
    return endInfinite ? text : text + Number(end);
}

bool ParseRange(const std::wstring& given, bool levelStyle, Range& range)
{
    Range r;
    r.set = true;
    std::wstring text = given;
    if (!text.empty() && text[0] == L'@') {
        r.inside = true;
        text.erase(0, 1);
    }
    const size_t colon = text.find(L':');
    if (colon == std::wstring::npos) {
        double n = 0;
        if (!ReadDouble(text, n))
            return false;
        if (levelStyle && !r.inside) {
            r.start = n;
            r.endInfinite = true;
        } else {
            r.end = n;
        }
    } else {
        const std::wstring low = text.substr(0, colon);
        const std::wstring high = text.substr(colon + 1);
        if (low == L"~")
            r.startInfinite = true;
        else if (!low.empty() && !ReadDouble(low, r.start))
            return false;
        if (high.empty())
            r.endInfinite = true;
        else if (!ReadDouble(high, r.end))
            return false;
        if (!r.startInfinite && !r.endInfinite && r.start > r.end)
            return false;
    }
    range = r;
    return true;
}

CheckLimits::CheckLimits()
{
    ParseRange(L"15", true, ink.warn);
    ParseRange(L"5", true, ink.crit);
    uv = ink;
}

bool ParseOptions(const std::vector<std::wstring>& args, Options& o, std::wstring& problem)
{
    for (const auto& a : args)
        if (a == L"--check")
            o.mode = Mode::Check;
    Mode mode = Mode::Table;
    bool modeGiven = false;
    const auto setMode = [&](Mode m) {
        if (modeGiven) {
            problem = L"choose one of --format, --check, --list, --save-log, --help and --version";
            return false;
        }
        modeGiven = true;
        mode = m;
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const auto value = [&](std::wstring& out) {
            if (i + 1 >= args.size()) {
                problem = a + L" needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        const auto range = [&](bool levelStyle, std::initializer_list<Range*> targets) {
            std::wstring text;
            Range r;
            if (!value(text))
                return false;
            if (!ParseRange(text, levelStyle, r)) {
                problem = a + L" wants a range like 10, 10:, ~:10, 10:20 or @10:20, not \"" + text + L"\"";
                return false;
            }
            for (Range* target : targets)
                *target = r;
            return true;
        };
        CheckLimits& l = o.limits;
        std::wstring text;
        bool ok = true;
        if (a == L"--help" || a == L"-h" || a == L"/?")
            ok = setMode(Mode::Help);
        else if (a == L"--version" || a == L"-V")
            ok = setMode(Mode::Version);
        else if (a == L"--check")
            ok = setMode(Mode::Check);
        else if (a == L"--list")
            ok = setMode(Mode::List);
        else if (a == L"--format") {
            ok = value(text);
            const std::pair<const wchar_t*, Mode> formats[] = {{L"table", Mode::Table},
                                                               {L"json", Mode::Json},
                                                               {L"prometheus", Mode::Prometheus},
                                                               {L"checkmk", Mode::Checkmk}};
            bool known = false;
            for (const auto& [name, m] : formats)
                if (ok && text == name) {
                    known = true;
                    ok = setMode(m);
                }
            if (ok && !known) {
                problem = L"unknown format \"" + text + L"\" (table, json, prometheus or checkmk)";
                ok = false;
            }
        } else if (a == L"--save-log")
            ok = setMode(Mode::SaveLog) && value(o.logPrinter) && value(o.logFile);
        else if (a == L"--printer" || a == L"-p")
            ok = value(o.printer);
        else if (a == L"--warn" || a == L"-w")
            ok = range(true, {&l.ink.warn, &l.uv.warn});
        else if (a == L"--crit" || a == L"-c")
            ok = range(true, {&l.ink.crit, &l.uv.crit});
        else if (a == L"--ink-warn")
            ok = range(true, {&l.ink.warn});
        else if (a == L"--ink-crit")
            ok = range(true, {&l.ink.crit});
        else if (a == L"--uv-warn")
            ok = range(true, {&l.uv.warn});
        else if (a == L"--uv-crit")
            ok = range(true, {&l.uv.crit});
        else if (a == L"--queue-warn")
            ok = range(false, {&l.queue.warn});
        else if (a == L"--queue-crit")
            ok = range(false, {&l.queue.crit});
        else if (a == L"--timeout" || a == L"-t") {
            ok = value(text);
            if (ok && !ReadTimeout(text, o.timeoutS)) {
                problem = a + L" wants a whole number of seconds from 1 to 86400, not \"" + text + L"\"";
                ok = false;
            }
        } else {
            problem = L"unknown argument \"" + a + L"\"";
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (mode == Mode::SaveLog && !o.printer.empty()) {
        problem = L"--save-log names its printer itself";
        return false;
    }
    if (mode == Mode::SaveLog && o.logFile.size() >= MAX_PATH) {
        problem = L"the log file name is longer than " + std::to_wstring(MAX_PATH - 1) + L" characters";
        return false;
    }
    o.mode = mode;
    if (!o.timeoutS)
        o.timeoutS = mode == Mode::SaveLog ? kLogTimeoutS : kDefaultTimeoutS;
    return true;
}
