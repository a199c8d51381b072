#include "spooler_fixture.h"
#include "process.h"
#include "spooler_setup.h"
#include "utils.h"
#include <algorithm>
#include <gtest/gtest.h>

namespace qsmtest {

const wchar_t* const SpoolerFixture::kTestDllName = kDriverDllName;
const wchar_t* const SpoolerFixture::kDataFileName = kDriverDataName;

namespace {

bool Report(const SpoolerResult& result)
{
    if (!result.ok)
        ADD_FAILURE() << result.step << " failed: " << result.error;
    return result.ok;
}

} // namespace

std::vector<std::wstring> SpoolerPrinterNames()
{
    std::vector<std::wstring> names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0, count = 0;
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
        if (needed == 0)
            return names;
        std::vector<BYTE> buffer(needed);
        if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
            const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                names.push_back(info[i].pPrinterName);
            return names;
        }
    }
    return names;
}

SpoolerFixture::~SpoolerFixture()
{
    while (!m_Printers.empty())
        RemovePrinter(m_Printers.back());
    for (const std::wstring& driver : m_Drivers)
        Report(DeleteDriver(driver));
}

std::wstring SpoolerFixture::Tag()
{
    return L"p" + std::to_wstring(GetCurrentProcessId());
}

std::wstring SpoolerFixture::TestDllPath()
{
    return ExeDir() + kTestDllName;
}

bool SpoolerFixture::AddDriver(const std::wstring& driver)
{
    if (std::find(m_Drivers.begin(), m_Drivers.end(), driver) != m_Drivers.end())
        return true;
    if (!Report(AddTestDriver(driver, TestDllPath())))
        return false;
    m_Drivers.push_back(driver);
    return true;
}

bool SpoolerFixture::InstallPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
{
    if (!AddDriver(driver) || !Report(AddLocalPrinter(name, port, driver)))
        return false;
    m_Printers.push_back(name);
    return true;
}

bool SpoolerFixture::ChangeSettings(const std::wstring& name, const std::function<void(PRINTER_INFO_2W&)>& edit)
{
    const auto h = OpenPrinterForAdmin(name);
    DWORD needed = 0;
    GetPrinterW(h.Get(), 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    const bool read = needed && GetPrinterW(h.Get(), 2, buffer.data(), needed, &needed);
    if (read)
        edit(*reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()));
    if (!read || !SetPrinterW(h.Get(), 2, buffer.data(), 0)) {
        ADD_FAILURE() << "changing printer " << mrvAPI::mrvUtils::W2M(name) << " failed: " << GetLastError();
        return false;
    }
    return true;
}

bool SpoolerFixture::ChangePort(const std::wstring& name, const std::wstring& port)
{
    std::wstring portName = port;
    return ChangeSettings(name, [&](PRINTER_INFO_2W& info) { info.pPortName = &portName[0]; });
}

bool SpoolerFixture::RemovePrinter(const std::wstring& printer)
{
    const std::wstring name = printer; // may refer to the entry erased below
    auto it = std::find(m_Printers.begin(), m_Printers.end(), name);
    if (it != m_Printers.end())
        m_Printers.erase(it);
    return Report(DeleteLocalPrinter(name));
}

} // namespace qsmtest
