// One status exchange: the product's SocketAPI beside the floor (floor.h).
#include "floor.h"
#include "items.h"
#include "measure.h"
#include "socket.h"
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {

constexpr int kExchangesPerRun = 300;
constexpr int kCyclesPerRun = 30;
const uint8_t kCycle[] = {5, 12, 11, 10, 1, 2, 3, 6, 7};

std::string Request(uint8_t command)
{
    return std::string{static_cast<char>(command), 0};
}

struct Run {
    double wallMs;
    double cpuMs;
    double serverMs; // Wine's server on behalf of everybody
};

// Wall and CPU time of the calling thread per call of exchange.
Run Time(const ThreadClock& clock, int count, const std::function<bool()>& exchange, int& failures)
{
    const double server0 = WineServerCpuMs();
    const double cpu0 = clock.CpuMs();
    const LONGLONG t0 = Now();
    for (int i = 0; i < count; ++i)
        if (!exchange())
            ++failures;
    return Run{MsSince(t0) / count, (clock.CpuMs() - cpu0) / count, (WineServerCpuMs() - server0) / count};
}

std::string Ratio(const char* what)
{
    return std::string("median ") + what + " ratio <= 1.3";
}

} // namespace

double MeasureExchange(Answerer& answerer, const Settings& settings, Report& report)
{
    const std::string request = Request(1);
    const size_t expected = answerer.AnswerTo(1).size();
    FloorClient floor(answerer.Port());
    // As the worker uses it: its stop event cuts every wait into slices.
    HANDLE hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SocketAPI worker;
    worker.SetCancelEvent(hStop);
    SocketAPI plain;
    if (!worker.Connect(answerer.Port()) || !plain.Connect(answerer.Port()))
        throw std::runtime_error("exchange: SocketAPI cannot connect");

    const ThreadClock clock;
    int failures = 0;
    auto viaFloor = [&] { return floor.Exchange(request, 1000).size() == expected; };
    auto viaWorker = [&] { return worker.SocketRequestData(request, 1000, 0).size() == expected; };
    auto viaPlain = [&] { return plain.SocketRequestData(request, 1000, 0).size() == expected; };
    Time(clock, 30, viaFloor, failures); // warm-up
    Time(clock, 30, viaWorker, failures);
    Time(clock, 30, viaPlain, failures);

    std::vector<double> floorWall, floorCpu, workerWall, workerCpu, plainWall, plainCpu, wallRatio, cpuRatio;
    std::vector<double> floorServer, workerServer;
    for (int run = 0; run < settings.runs; ++run) {
        const Run f = Time(clock, kExchangesPerRun, viaFloor, failures);
        const Run w = Time(clock, kExchangesPerRun, viaWorker, failures);
        const Run p = Time(clock, kExchangesPerRun, viaPlain, failures);
        floorServer.push_back(f.serverMs);
        workerServer.push_back(w.serverMs);
        floorWall.push_back(f.wallMs);
        floorCpu.push_back(f.cpuMs);
        workerWall.push_back(w.wallMs);
        workerCpu.push_back(w.cpuMs);
        plainWall.push_back(p.wallMs);
        plainCpu.push_back(p.cpuMs);
        wallRatio.push_back(w.wallMs / f.wallMs);
        cpuRatio.push_back(w.cpuMs / f.cpuMs);
    }
    CloseHandle(hStop);

    const char* item = "1 exchange";
    report.Add(item, "wall, floor (bare Winsock)", "ms", floorWall);
    report.Add(item, "wall, SocketAPI as the worker uses it", "ms", workerWall);
    report.Add(item, "wall, SocketAPI without stop event", "ms", plainWall);
    report.Add(item, "CPU, floor (bare Winsock)", "ms", floorCpu);
    report.Add(item, "CPU, SocketAPI as the worker uses it", "ms", workerCpu);
    report.Add(item, "CPU, SocketAPI without stop event", "ms", plainCpu);
    if (!std::isnan(Median(floorServer))) {
        report.Add(item, "Wine server CPU, floor", "ms", floorServer);
        report.Add(item, "Wine server CPU, SocketAPI as the worker uses it", "ms", workerServer);
    }
    report.Add(item, "wall ratio worker/floor (paired runs)", "x", wallRatio, Ratio("wall"),
               Median(wallRatio) <= 1.3);
    report.Add(item, "CPU ratio worker/floor (paired runs)", "x", cpuRatio, Ratio("CPU"), Median(cpuRatio) <= 1.3);
    if (failures)
        report.Note("exchange: " + std::to_string(failures) + " exchanges gave no full answer");

    // The floor's full polling cycle: the nine requests of a cycle, back to back.
    std::vector<double> cycles;
    for (int run = 0; run < settings.runs; ++run) {
        const LONGLONG t0 = Now();
        for (int c = 0; c < kCyclesPerRun; ++c)
            for (uint8_t command : kCycle)
                floor.Exchange(Request(command), 1000);
        cycles.push_back(MsSince(t0) / kCyclesPerRun);
    }
    report.Add("2 latency", "floor: one full cycle (9 exchanges)", "ms", cycles);
    return Median(cycles);
}

} // namespace bench
