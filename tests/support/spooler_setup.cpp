#include "spooler_setup.h"
#include <cstring>
#include <winspool.h>

namespace qsmtest {

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

SpoolerResult Failed(const std::string& step)
{
    SpoolerResult result;
    result.ok = false;
    result.error = GetLastError();
    result.step = step;
    return result;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

} // namespace

SpoolerResult AddTestDriver(const std::wstring& driver, const std::wstring& dllPath)
{
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof(folder), &needed))
        return Failed("GetPrinterDriverDirectoryW");
    const std::wstring dir = folder;
    std::wstring dll = dir + L"\\" + kDriverDllName;
    std::wstring data = dir + L"\\" + kDriverDataName;
    if (!CopyFileW(dllPath.c_str(), dll.c_str(), FALSE) && !FileExists(dll))
        return Failed("copying " + Narrow(dllPath));
    if (!WriteTextFile(data, "*Quillor test data file\r\n") && !FileExists(data))
        return Failed("writing " + Narrow(data));

    std::wstring name = driver;
    std::wstring dependent = std::wstring(kDriverDllName) + L'\0' + kDriverDataName + L'\0' + L'\0';
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = &name[0];
    info.pDriverPath = &dll[0];
    info.pDataFile = &data[0];
    info.pConfigFile = &dll[0];
    info.pDependentFiles = &dependent[0];
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES))
        return Failed("AddPrinterDriverExW(" + Narrow(driver) + ")");
    return SpoolerResult();
}

SpoolerResult AddLocalPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
{
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
    if (!h)
        return Failed("AddPrinterW(" + Narrow(name) + ", " + Narrow(port) + ")");
    ClosePrinter(h);
    return SpoolerResult();
}

SpoolerResult DeleteLocalPrinter(const std::wstring& name)
{
    SpoolerHandle h(name);
    if (!h.Get() || !DeletePrinter(h.Get()))
        return Failed("removing printer " + Narrow(name));
    return SpoolerResult();
}

SpoolerResult DeleteDriver(const std::wstring& driver)
{
    std::wstring name = driver;
    if (!DeletePrinterDriverW(nullptr, nullptr, &name[0]))
        return Failed("DeletePrinterDriverW(" + Narrow(driver) + ")");
    return SpoolerResult();
}

} // namespace qsmtest
