// The benchmark against the floor (make bench): prints the table and writes the
// same figures as JSON (default: bench.json in the build folder).
//   QSM_BENCH_RUNS    repeated runs per figure (default 15)
//   QSM_BENCH_IDLE_S  length of the idle measurement in seconds (default 30)
#include "answerer.h"
#include "items.h"
#include "language.h"
#include "measure.h"
#include "registry_fixture.h"
#include "report.h"
#include <commctrl.h>
#include <cstdio>
#include <exception>
#include <string>

namespace {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/"));
}

std::string CpuModel()
{
    HANDLE h = CreateFileA("Z:\\proc\\cpuinfo", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        std::string text(65536, '\0');
        DWORD got = 0;
        ReadFile(h, &text[0], static_cast<DWORD>(text.size()), &got, nullptr);
        CloseHandle(h);
        text.resize(got);
        const size_t at = text.find("model name");
        if (at != std::string::npos) {
            const size_t colon = text.find(':', at);
            const size_t end = text.find('\n', at);
            if (colon != std::string::npos && colon < end)
                return text.substr(colon + 2, end - colon - 2);
        }
    }
    char name[256] = {};
    DWORD size = sizeof name;
    RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
                 RRF_RT_REG_SZ, nullptr, name, &size);
    return name;
}

std::string Machine()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    using WineVersion = const char*(CDECL*)();
    const auto wine = reinterpret_cast<WineVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return std::to_string(info.dwNumberOfProcessors) + " cores, " + CpuModel() +
           (wine ? std::string(", under Wine ") + wine() : std::string(", Windows"));
}

std::wstring Wide(const char* text)
{
    std::wstring out(MAX_PATH, L'\0');
    out.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], MAX_PATH) - 1));
    return out;
}

bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == text.size();
}

} // namespace

int main(int argc, char** argv)
{
    const std::wstring jsonPath = argc > 1 ? Wide(argv[1]) : ExeDir() + L"\\..\\bench.json";
    bench::Settings settings{bench::EnvInt("QSM_BENCH_RUNS", 15), bench::EnvInt("QSM_BENCH_IDLE_S", 30), 250};
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        bench::Answerer answerer;
        qsmtest::RegistryFixture registry;
        registry.SetPath(ExeDir()); // quillor.xml lies beside the program
        registry.SetUpdateTime(std::to_wstring(settings.updateTime));
        registry.SetTcpPort(answerer.Port());
        mrvAPI::mrvLanguages::Load();

        bench::Report report;
        report.Machine(Machine());
        std::fputs("bench: 1 exchange\n", stderr);
        const double floorCycle = bench::MeasureExchange(answerer, settings, report);
        std::fputs("bench: 2 latency, 3 idle, 6 memory\n", stderr);
        bench::MeasureWindows(answerer, settings, floorCycle, report);
        std::fputs("bench: 4 log, 5 stop\n", stderr);
        bench::MeasureWorker(answerer, settings, report);
        mrvAPI::mrvLanguages::Clear();

        std::fputs(report.Table().c_str(), stdout);
        if (!WriteText(jsonPath, report.Json())) {
            std::fprintf(stderr, "bench: cannot write the JSON file\n");
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
}
