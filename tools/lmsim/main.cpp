// lmsim: plays the printer driver's language monitor on the loopback interface, for
// the demo, the end-to-end tests and soak runs of the status monitor.
#include "lmserver/lmserver.h"
#include "lmsim/faults.h"
#include "lmsim/options.h"
#include "lmsim/scenario.h"
#include "lock.h"
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

HANDLE s_hStopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        SetEvent(s_hStopEvent);
        return TRUE;
    default:
        return FALSE;
    }
}

// Standard output shared by the connection threads; every line is flushed at once
// so that a test reading the pipe sees it.
class Console {
public:
    explicit Console(bool quiet) : m_Lock("lmsim console"), m_Quiet(quiet) {}
    void Line(const std::string& text)
    {
        mrvAPI::mrvLock lock(&m_Lock);
        std::fputs(text.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    void Trace(const std::string& text)
    {
        if (!m_Quiet)
            Line(text);
    }

private:
    mrvAPI::mrvCriticalSection m_Lock;
    bool m_Quiet;
};

std::string Hex(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// The replies of one connection: the scenario's answer, bent by the fault.
lmserver::Script ConnectionScript(unsigned id, const lmsim::Scenario& scenario, const lmsim::Options& options,
                                  Console& console, ULONGLONG startTick)
{
    auto session = std::make_shared<lmsim::Session>(scenario);
    auto shaper = std::make_shared<lmsim::FaultShaper>(options.fault, options.stallAfter, options.seed + id);
    return [=, &console](uint8_t command, uint8_t index) {
        const lmsim::Reply reply = session->Answer(command, index, GetTickCount64() - startTick);
        const lmsim::Plan plan = shaper->Shape(reply.bytes);
        std::string line = "conn " + std::to_string(id) + " idx " + std::to_string(index) + " cmd " +
                           std::to_string(command) + " -> " + Hex(static_cast<uint8_t>(reply.bytes[0])) + " " +
                           reply.note;
        if (!plan.note.empty())
            line += " [" + plan.note + "]";
        console.Trace(line);
        lmserver::Reply out;
        for (const lmsim::Burst& burst : plan.bursts)
            out.Then(burst.delayMs, burst.bytes);
        out.close = plan.close;
        out.endless = plan.endless;
        return out;
    };
}

} // namespace

int main(int argc, char** argv)
{
    using namespace lmsim;
    Options options;
    const std::string complaint = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!complaint.empty()) {
        std::fprintf(stderr, "lmsim: %s\n%s", complaint.c_str(), UsageText());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    mrvAPI::mrvKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent.Get()) {
        std::fprintf(stderr, "lmsim: can't create the stop event\n");
        return 1;
    }
    s_hStopEvent = stopEvent.Get();
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);

    Console console(options.quiet);
    const Scenario scenario(options.scenario, options.logSize, options.printers);
    int result = 0;
    try {
        const ULONGLONG startTick = GetTickCount64();
        lmserver::Server::Options serving;
        serving.port = options.port;
        serving.logRequests = false;
        serving.trace = [&console](const std::string& text) {
            console.Trace(text.compare(0, 5, "conn ") == 0 ? text : "lmsim: " + text);
        };
        lmserver::Server server(
            [&](unsigned id) { return ConnectionScript(id, scenario, options, console, startTick); }, serving);
        console.Line("lmsim: listening on 127.0.0.1:" + std::to_string(server.Port()));
        console.Trace(std::string("lmsim: scenario ") + ScenarioName(options.scenario) + ", fault " +
                      FaultName(options.fault) + ", printers " + std::to_string(options.printers) + ", log " +
                      std::to_string(options.logSize) + " bytes");
        WaitForSingleObject(stopEvent.Get(), options.durationSec ? options.durationSec * 1000 : INFINITE);
        server.Refuse();
        console.Trace("lmsim: stopped");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lmsim: %s\n", e.what());
        result = 1;
    }
    SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    s_hStopEvent = nullptr;
    return result;
}
