// lmsim: plays the printer driver's language monitor on the loopback interface, for
// the demo, the end-to-end tests and soak runs of the status monitor.
#include "lmsim/options.h"
#include "lmsim/server.h"
#include "win.h"
#include <cstdio>
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

    WinsockSession winsock;
    if (!winsock.IsStarted()) {
        std::fprintf(stderr, "lmsim: Windows Sockets do not start\n");
        return 1;
    }
    mrvAPI::mrvKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent.Get()) {
        std::fprintf(stderr, "lmsim: can't create the stop event\n");
        return 1;
    }
    s_hStopEvent = stopEvent.Get();
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);

    Console console(options.quiet);
    int result = 0;
    try {
        Server server(options, console);
        const uint16_t port = server.Listen(options.port);
        console.Line("lmsim: listening on 127.0.0.1:" + std::to_string(port));
        console.Trace(std::string("lmsim: scenario ") + ScenarioName(options.scenario) + ", fault " +
                      FaultName(options.fault) + ", printers " + std::to_string(options.printers) + ", log " +
                      std::to_string(options.logSize) + " bytes");
        server.Run(stopEvent.Get(), static_cast<ULONGLONG>(options.durationSec) * 1000);
        console.Trace("lmsim: stopped");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lmsim: %s\n", e.what());
        result = 1;
    }
    SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    s_hStopEvent = nullptr;
    return result;
}
