#include "spooler_setup.h"
#include "handle.h"
#include "utils.h"

namespace qsmtest {

namespace {

using mrvAPI::mrvUtils;

SpoolerResult Result(bool ok, const std::string& step)
{
    return ok ? SpoolerResult() : SpoolerResult{false, GetLastError(), step};
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

mrvAPI::mrvSpoolerHandle OpenPrinterForAdmin(const std::wstring& printer)
{
    std::wstring name = printer;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    mrvAPI::mrvSpoolerHandle h;
    OpenPrinterW(&name[0], h.Receive(), &defaults);
    return h;
}

SpoolerResult AddTestDriver(const std::wstring& driver, const std::wstring& dllPath)
{
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof(folder), &needed))
        return Result(false, "GetPrinterDriverDirectoryW");
    std::wstring dll = std::wstring(folder) + L"\\" + kDriverDllName;
    std::wstring data = std::wstring(folder) + L"\\" + kDriverDataName;
    if (!CopyFileW(dllPath.c_str(), dll.c_str(), FALSE) && !Exists(dll))
        return Result(false, "copying " + mrvUtils::W2M(dllPath));
    const char text[] = "*Quillor test data file\r\n";
    mrvAPI::mrvKernelHandle file(
        CreateFileW(data.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!WriteFile(file.Get(), text, sizeof text - 1, &written, nullptr) && !Exists(data))
        return Result(false, "writing " + mrvUtils::W2M(data));

    std::wstring name = driver;
    std::wstring dependent = std::wstring(kDriverDllName) + L'\0' + kDriverDataName + L'\0' + L'\0';
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = &name[0];
    info.pDriverPath = info.pConfigFile = &dll[0];
    info.pDataFile = &data[0];
    info.pDependentFiles = &dependent[0];
    return Result(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES),
                  "AddPrinterDriverExW(" + mrvUtils::W2M(driver) + ")");
}

SpoolerResult AddLocalPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
{
    if (auto stale = OpenPrinterForAdmin(name); stale.IsValid())
        DeletePrinter(stale.Get());
    std::wstring printer = name, portName = port, driverName = driver, processor = L"winprint", datatype = L"RAW";
    PRINTER_INFO_2W info = {};
    info.pPrinterName = &printer[0];
    info.pPortName = &portName[0];
    info.pDriverName = &driverName[0];
    info.pPrintProcessor = &processor[0];
    info.pDatatype = &datatype[0];
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const mrvAPI::mrvSpoolerHandle added(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    return Result(added.IsValid(), "AddPrinterW(" + mrvUtils::W2M(name) + ", " + mrvUtils::W2M(port) + ")");
}

SpoolerResult DeleteLocalPrinter(const std::wstring& name)
{
    const auto h = OpenPrinterForAdmin(name);
    return Result(h.IsValid() && DeletePrinter(h.Get()), "removing printer " + mrvUtils::W2M(name));
}

SpoolerResult DeleteDriver(const std::wstring& driver)
{
    std::wstring name = driver;
    return Result(DeletePrinterDriverW(nullptr, nullptr, &name[0]), "DeletePrinterDriverW(" + mrvUtils::W2M(driver) + ")");
}

} // namespace qsmtest
