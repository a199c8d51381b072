#include "lmsim/options.h"

namespace lmsim {

namespace {

// Decimal digits only, no sign, within [0, maximum].
bool ReadNumber(const std::string& text, uint32_t maximum, uint32_t& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > maximum)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ReadScenario(const std::string& text, ScenarioKind& kind)
{
    for (ScenarioKind k : {ScenarioKind::Demo, ScenarioKind::Static, ScenarioKind::Errors}) {
        if (text == ScenarioName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

bool ReadFault(const std::string& text, Fault& fault)
{
    for (Fault f : {Fault::None, Fault::Silence, Fault::Slow, Fault::Drop, Fault::Random, Fault::Short, Fault::Flood,
                    Fault::Stall, Fault::Flap, Fault::Endless}) {
        if (text == FaultName(f)) {
            fault = f;
            return true;
        }
    }
    return false;
}

std::string Bad(const std::string& option, const std::string& value)
{
    return "bad value for " + option + ": \"" + value + "\"";
}

} // namespace

std::string ParseOptions(const std::vector<std::string>& args, Options& options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        const size_t eq = name.find('=');
        if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h" || name == "/?") {
            options.help = true;
            continue;
        }
        if (name == "--quiet") {
            options.quiet = true;
            continue;
        }
        const bool takesValue = name == "--port" || name == "--scenario" || name == "--log-size" ||
                                name == "--fault" || name == "--printers" || name == "--duration" ||
                                name == "--stall-after" || name == "--seed";
        if (!takesValue)
            return "unknown option \"" + args[i] + "\"";
        if (!inlineValue) {
            if (i + 1 >= args.size())
                return name + " needs a value";
            value = args[++i];
        }
        uint32_t number = 0;
        if (name == "--port") {
            if (!ReadNumber(value, 65535, number))
                return Bad(name, value);
            options.port = static_cast<uint16_t>(number);
            options.portGiven = true;
        } else if (name == "--scenario") {
            if (!ReadScenario(value, options.scenario))
                return Bad(name, value);
        } else if (name == "--fault") {
            if (!ReadFault(value, options.fault))
                return Bad(name, value);
        } else if (name == "--log-size") {
            if (!ReadNumber(value, kMaxLogSize, options.logSize))
                return Bad(name, value);
        } else if (name == "--printers") {
            if (!ReadNumber(value, kMaxPrinters, number) || number == 0)
                return Bad(name, value);
            options.printers = number;
        } else if (name == "--duration") {
            if (!ReadNumber(value, 0xFFFFFFFFu, options.durationSec))
                return Bad(name, value);
        } else if (name == "--stall-after") {
            if (!ReadNumber(value, 0xFFFFFFFFu, options.stallAfter))
                return Bad(name, value);
        } else if (!ReadNumber(value, 0xFFFFFFFFu, options.seed)) {
            return Bad(name, value);
        }
    }
    if (!options.help && !options.portGiven)
        return "--port is required";
    return "";
}

const char* UsageText()
{
    return "usage: lmsim.exe --port N [options]\n"
           "Plays the printer driver's language monitor on 127.0.0.1:N (N = 0: any free port).\n"
           "  --scenario demo|static|errors  what the printers report (default demo)\n"
           "  --log-size BYTES               size of the log that command 4 returns (default 326654)\n"
           "  --fault none|silence|slow|drop|random|short|flood|stall|flap|endless\n"
           "                                 how the answers are bent (default none)\n"
           "  --stall-after N                stall: answers per connection before it stops (default 10)\n"
           "  --seed N                       random: seed of the random answers (default 1)\n"
           "  --printers K                   printer indexes 0..K-1 are known (default 8, at most 256)\n"
           "  --duration SEC                 end after SEC seconds (default 0: at Ctrl+C)\n"
           "  --quiet                        no line per request\n"
           "  --help                         this text\n"
           "The first line of output is \"lmsim: listening on 127.0.0.1:<port>\".\n";
}

const char* ScenarioName(ScenarioKind kind)
{
    switch (kind) {
    case ScenarioKind::Demo:
        return "demo";
    case ScenarioKind::Static:
        return "static";
    case ScenarioKind::Errors:
        return "errors";
    }
    return "?";
}

} // namespace lmsim
