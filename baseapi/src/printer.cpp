#include "printer.h"
#include "handle.h"
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <cwchar>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\printer";

// Function-local statics: the list may be used by other static objects' constructors,
// and the lock must outlive the vector it guards (constructed first, destroyed last).
struct PrinterList {
    mrvCriticalSection lock{"mrvPrinter"};
    std::vector<std::unique_ptr<mrvPrinter>> entries;
};

PrinterList& List()
{
    static PrinterList s_List;
    return s_List;
}

// The smallest block that still carries dmSize and dmDriverExtra.
constexpr size_t kDevModeHeader = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);

size_t DevModeBytes(const DEVMODEW* pDevMode)
{
    return static_cast<size_t>(pDevMode->dmSize) + pDevMode->dmDriverExtra;
}

// PRINTER_INFO_2W of an open printer, or null when the spooler does not answer.
std::unique_ptr<mrvBuffer<BYTE>> ReadPrinterInfo2(HANDLE hPrinter, const char* function)
{
    DWORD needed = 0;
    GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W))
        return nullptr;
    std::unique_ptr<mrvBuffer<BYTE>> info(new mrvBuffer<BYTE>(needed, function, kFile, __LINE__));
    if (!GetPrinterW(hPrinter, 2, info->get(), needed, &needed))
        return nullptr;
    return info;
}

} // namespace

mrvPrinter::mrvPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver)
    : m_Name(name), m_Port(port), m_Driver(driver), m_hPrinter(nullptr), m_pDevMode(nullptr)
{
}

mrvPrinter::mrvPrinter(const mrvPrinter& other)
    : m_Name(other.m_Name), m_Port(other.m_Port), m_Driver(other.m_Driver), m_hPrinter(nullptr), m_pDevMode(nullptr)
{
}

mrvPrinter::~mrvPrinter()
{
    // An owner that forgot Close must not leak the spooler handle; the settings are
    // not written back from here.
    if (m_hPrinter)
        ClosePrinter(m_hPrinter);
    delete m_pDevMode;
}

void mrvPrinter::Open()
{
    // Opening twice would lose the first handle; the open printer stays as it is.
    if (m_hPrinter)
        return;

    mrvSpoolerHandle handle;
    std::wstring name = m_Name;
    if (!OpenPrinterW(&name[0], handle.Receive(), nullptr))
        throw mrvException(mrvE_PRINTER_OPEN, "Can't open printer.", "mrvAPI::mrvPrinter::Open", kFile, __LINE__);

    std::unique_ptr<mrvBuffer<BYTE>> snapshot;
    std::unique_ptr<mrvBuffer<BYTE>> info = ReadPrinterInfo2(handle.Get(), "mrvAPI::mrvPrinter::Open");
    const DEVMODEW* pCurrent = info ? reinterpret_cast<PRINTER_INFO_2W*>(info->get())->pDevMode : nullptr;
    if (pCurrent && DevModeBytes(pCurrent) >= kDevModeHeader) {
        const size_t bytes = DevModeBytes(pCurrent);
        snapshot.reset(new mrvBuffer<BYTE>(static_cast<uint32_t>(bytes), "mrvAPI::mrvPrinter::Open", kFile, __LINE__));
        std::memcpy(snapshot->get(), pCurrent, bytes);
    } else {
        const LONG size = DocumentPropertiesW(nullptr, handle.Get(), nullptr, nullptr, nullptr, 0);
        if (size >= static_cast<LONG>(kDevModeHeader)) {
            snapshot.reset(
                new mrvBuffer<BYTE>(static_cast<uint32_t>(size), "mrvAPI::mrvPrinter::Open", kFile, __LINE__));
            // A snapshot that could not be filled would write zeros back on Close.
            if (DocumentPropertiesW(nullptr, handle.Get(), nullptr, reinterpret_cast<DEVMODEW*>(snapshot->get()),
                                    nullptr, DM_OUT_BUFFER) < 0)
                snapshot.reset();
        }
    }
    m_pDevMode = snapshot.release();
    m_hPrinter = handle.Release();
}

void mrvPrinter::Close()
{
    // Handle and snapshot are released even when writing back throws.
    struct Release {
        mrvPrinter& printer;
        ~Release() { printer.CloseQuietly(); }
    } release{*this};
    if (m_pDevMode)
        StoreDevMode();
}

void mrvPrinter::CloseQuietly()
{
    delete m_pDevMode;
    m_pDevMode = nullptr;
    if (m_hPrinter)
        ClosePrinter(m_hPrinter);
    m_hPrinter = nullptr;
}

void mrvPrinter::StoreDevMode()
{
    if (!m_hPrinter || !m_pDevMode)
        return;
    std::unique_ptr<mrvBuffer<BYTE>> info = ReadPrinterInfo2(m_hPrinter, "mrvAPI::mrvPrinter::StoreDevMode");
    if (!info)
        return;

    DEVMODEW* pSnapshot = reinterpret_cast<DEVMODEW*>(m_pDevMode->get());
    const size_t snapshotBytes = DevModeBytes(pSnapshot);
    // A snapshot whose header claims more than it holds would make the spooler read
    // past it; such settings are not written back.
    if (snapshotBytes > m_pDevMode->bytes())
        return;
    PRINTER_INFO_2W* pInfo = reinterpret_cast<PRINTER_INFO_2W*>(info->get());
    if (pInfo->pDevMode) {
        DEVMODEW* pFresh = pInfo->pDevMode;
        const WORD freshSize = pFresh->dmSize;
        const WORD freshExtra = pFresh->dmDriverExtra;
        const size_t freshBytes = DevModeBytes(pFresh);
        std::memcpy(pFresh, pSnapshot, std::min(freshBytes, snapshotBytes));
        // A larger snapshot is cut to the fresh block, which keeps its own sizes.
        if (snapshotBytes > freshBytes) {
            pFresh->dmSize = freshSize;
            pFresh->dmDriverExtra = freshExtra;
        }
    } else {
        pInfo->pDevMode = pSnapshot;
    }
    SetPrinterW(m_hPrinter, 2, info->get(), 4);

    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVMODECHANGE, 0, reinterpret_cast<LPARAM>(pSnapshot), SMTO_NORMAL, 1000,
                        &result);
}

bool mrvPrinter::Enumerate(const wchar_t* pwMask)
{
    assert(pwMask);
    if (!pwMask)
        ThrowNullPointer("pwMask", "mrvAPI::mrvPrinter::Enumerate", kFile, __LINE__);
    PrinterList& list = List();
    mrvLock lock(&list.lock);

    // The printer set may grow between the size query and the fetch; the fetch then
    // reports the new size, which is tried a few times before giving up.
    DWORD needed = 0;
    DWORD count = 0;
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    std::unique_ptr<mrvBuffer<BYTE>> buffer;
    bool fetched = needed == 0;
    for (int attempt = 0; attempt < 4 && needed != 0 && !fetched; ++attempt) {
        buffer.reset(new mrvBuffer<BYTE>(needed, "mrvAPI::mrvPrinter::Enumerate", kFile, __LINE__));
        fetched = EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer->get(), needed, &needed, &count) != FALSE;
        if (!fetched && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
    }
    // A spooler that fails now says nothing about which printers are gone.
    if (!fetched)
        return false;

    list.entries.clear();
    const PRINTER_INFO_2W* pInfo = buffer ? reinterpret_cast<const PRINTER_INFO_2W*>(buffer->get()) : nullptr;
    for (DWORD i = 0; pInfo && i < count; ++i) {
        const PRINTER_INFO_2W& p = pInfo[i];
        const wchar_t* driver = p.pDriverName ? p.pDriverName : L"";
        if (!MatchesMask(driver, pwMask))
            continue;
        list.entries.emplace_back(
            new mrvPrinter(p.pPrinterName ? p.pPrinterName : L"", p.pPortName ? p.pPortName : L"", driver));
    }
    return true;
}

bool mrvPrinter::MatchesMask(const std::wstring& driver, const wchar_t* pwMask)
{
    return !pwMask || !*pwMask || driver.find(pwMask) != std::wstring::npos;
}

void mrvPrinter::Clear()
{
    PrinterList& list = List();
    mrvLock lock(&list.lock);
    list.entries.clear();
}

UINT mrvPrinter::GetCount()
{
    PrinterList& list = List();
    mrvLock lock(&list.lock);
    return static_cast<UINT>(list.entries.size());
}

mrvPrinter* mrvPrinter::GetPrinter(UINT index)
{
    PrinterList& list = List();
    mrvLock lock(&list.lock);
    if (index >= list.entries.size())
        return nullptr;
    return new mrvPrinter(*list.entries[index]);
}

mrvPrinter* mrvPrinter::Find(const wchar_t* name)
{
    if (!name)
        return nullptr;
    PrinterList& list = List();
    mrvLock lock(&list.lock);
    for (const auto& entry : list.entries)
        if (entry->m_Name == name)
            return new mrvPrinter(*entry);
    return nullptr;
}

UINT mrvPrinter::IndexOf(const mrvPrinter& printer)
{
    PrinterList& list = List();
    mrvLock lock(&list.lock);
    UINT index = 0;
    for (const auto& entry : list.entries) {
        if (entry->m_Name == printer.m_Name)
            break;
        ++index;
    }
    return index;
}

} // namespace mrvAPI
