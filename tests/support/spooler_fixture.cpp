#include "spooler_fixture.h"
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <winspool.h>

namespace qsmtest {

const wchar_t* const SpoolerFixture::kTestDllName = L"quillortest.dll";
const wchar_t* const SpoolerFixture::kDataFileName = L"quillortest.gpd";

namespace {

class SpoolerHandle {
public:
    explicit SpoolerHandle(const std::wstring& printer, ACCESS_MASK access = PRINTER_ALL_ACCESS)
    {
        std::wstring name = printer;
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        if (!OpenPrinterW(&name[0], &m_h, &defaults))
            m_h = nullptr;
    }
    ~SpoolerHandle()
    {
        if (m_h)
            ClosePrinter(m_h);
    }
    SpoolerHandle(const SpoolerHandle&) = delete;
    SpoolerHandle& operator=(const SpoolerHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h = nullptr;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring DriverDirectory()
{
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof(dir), &needed))
        return std::wstring();
    return dir;
}

bool WriteTextFile(const std::wstring& path, const char* text)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::vector<std::wstring> SpoolerPrinterNames()
{
    std::vector<std::wstring> names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        DWORD count = 0;
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
        if (needed == 0)
            return names;
        std::vector<BYTE> buffer(needed);
        if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
            const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
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
    for (const std::wstring& driver : m_Drivers) {
        std::wstring name = driver;
        if (!DeletePrinterDriverW(nullptr, nullptr, &name[0]))
            ADD_FAILURE() << "DeletePrinterDriverW(" << Narrow(driver) << ") failed: " << GetLastError();
    }
}

std::wstring SpoolerFixture::Tag()
{
    return L"p" + std::to_wstring(GetCurrentProcessId());
}

std::wstring SpoolerFixture::Unique(const std::wstring& base)
{
    return base + L" " + Tag();
}

std::wstring SpoolerFixture::QuillorDriver()
{
    return Unique(L"VESTRANO QUILLOR 2");
}

std::wstring SpoolerFixture::OtherDriver()
{
    return Unique(L"VESTRANO LASER 5");
}

std::wstring SpoolerFixture::TestDllPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir.erase(dir.find_last_of(L'\\') + 1);
    return dir + kTestDllName;
}

bool SpoolerFixture::AddDriver(const std::wstring& driver)
{
    if (std::find(m_Drivers.begin(), m_Drivers.end(), driver) != m_Drivers.end())
        return true;
    const std::wstring dir = DriverDirectory();
    if (dir.empty()) {
        ADD_FAILURE() << "GetPrinterDriverDirectoryW failed: " << GetLastError();
        return false;
    }
    // Other test programs may be copying the same files at this moment; a file that
    // is already there is as good as a fresh copy.
    std::wstring dll = dir + L"\\" + kTestDllName;
    std::wstring data = dir + L"\\" + kDataFileName;
    if (!CopyFileW(TestDllPath().c_str(), dll.c_str(), FALSE) && !FileExists(dll)) {
        ADD_FAILURE() << "copying " << Narrow(TestDllPath()) << " failed: " << GetLastError();
        return false;
    }
    if (!WriteTextFile(data, "*Quillor test data file\r\n") && !FileExists(data)) {
        ADD_FAILURE() << "writing " << Narrow(data) << " failed: " << GetLastError();
        return false;
    }

    std::wstring name = driver;
    std::wstring dependent = std::wstring(kTestDllName) + L'\0' + kDataFileName + L'\0' + L'\0';
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = &name[0];
    info.pDriverPath = &dll[0];
    info.pDataFile = &data[0];
    info.pConfigFile = &dll[0];
    info.pDependentFiles = &dependent[0];
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES)) {
        ADD_FAILURE() << "AddPrinterDriverExW(" << Narrow(driver) << ") failed: " << GetLastError();
        return false;
    }
    m_Drivers.push_back(driver);
    return true;
}

bool SpoolerFixture::InstallPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
{
    if (!AddDriver(driver))
        return false;
    // A printer of that name left behind by an aborted run is replaced.
    {
        SpoolerHandle stale(name);
        if (stale.Get())
            DeletePrinter(stale.Get());
    }
    std::wstring printer = name;
    std::wstring portName = port;
    std::wstring driverName = driver;
    std::wstring processor = L"winprint";
    std::wstring datatype = L"RAW";
    PRINTER_INFO_2W info = {};
    info.pPrinterName = &printer[0];
    info.pPortName = &portName[0];
    info.pDriverName = &driverName[0];
    info.pPrintProcessor = &processor[0];
    info.pDatatype = &datatype[0];
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!h) {
        ADD_FAILURE() << "AddPrinterW(" << Narrow(name) << ", " << Narrow(port) << ") failed: " << GetLastError();
        return false;
    }
    ClosePrinter(h);
    m_Printers.push_back(name);
    return true;
}

bool SpoolerFixture::ChangeSettings(const std::wstring& name, const std::function<void(PRINTER_INFO_2W&)>& edit)
{
    SpoolerHandle h(name);
    if (!h.Get()) {
        ADD_FAILURE() << "OpenPrinterW(" << Narrow(name) << ") failed: " << GetLastError();
        return false;
    }
    DWORD needed = 0;
    GetPrinterW(h.Get(), 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !GetPrinterW(h.Get(), 2, buffer.data(), needed, &needed)) {
        ADD_FAILURE() << "GetPrinterW(" << Narrow(name) << ") failed: " << GetLastError();
        return false;
    }
    edit(*reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()));
    if (!SetPrinterW(h.Get(), 2, buffer.data(), 0)) {
        ADD_FAILURE() << "SetPrinterW(" << Narrow(name) << ") failed: " << GetLastError();
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
    SpoolerHandle h(name);
    if (!h.Get() || !DeletePrinter(h.Get())) {
        ADD_FAILURE() << "removing printer " << Narrow(name) << " failed: " << GetLastError();
        return false;
    }
    return true;
}

} // namespace qsmtest
