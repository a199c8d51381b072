#include "robust.h"
#include "language.h"
#include "printer.h"
#include <cstdlib>
#include <psapi.h>

namespace robust {

DWORD Seconds(DWORD byDefault)
{
    const char* text = std::getenv("QSM_ROBUST_SECONDS");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? static_cast<DWORD>(value) : byDefault;
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage > counters.WorkingSetSize ? counters.PrivateUsage : counters.WorkingSetSize;
}

DWORD DeadPort()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    WSACleanup();
    return ntohs(address.sin_port);
}

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Robust::SetUp()
{
    m_Registry.SetPath(qsmtest::ExeDir() + L"qsm_language");
    m_Registry.SetPrinterFilter(qsmtest::SpoolerFixture::QuillorDriver());
    m_Registry.SetUpdateTime(L"200");
    m_Registry.SetTcpPort(DeadPort());
    mrvAPI::mrvLanguages::Load();
}

void Robust::TearDown()
{
    mrvAPI::mrvPrinter::Clear();
    mrvAPI::mrvLanguages::Clear();
}

void Robust::Install(const std::wstring& name)
{
    ASSERT_TRUE(m_Spooler.InstallPrinter(name, L"FILE:", qsmtest::SpoolerFixture::QuillorDriver()));
}

void Robust::InstallNumbered(int count)
{
    for (int i = static_cast<int>(m_Spooler.Printers().size()); i < count; ++i)
        Install(qsmtest::SpoolerFixture::Unique(L"Quillor Robust " + std::to_wstring(i)));
    mrvAPI::mrvPrinter::Enumerate(qsmtest::SpoolerFixture::QuillorDriver().c_str());
}

} // namespace robust
