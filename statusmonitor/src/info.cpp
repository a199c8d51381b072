#include "info.h"
#include "buffer.h"
#include "item.h"
#include "language.h"
#include "printer.h"
#include "printerhandle.h"
#include "resource.h"
#include <cstdio>
#include <cwchar>
#include <memory>

using namespace mrvAPI;

namespace {

const char* const kFile = "statusmonitor\\src\\info";

// Lower-cases ASCII letters only, as tolower does in the C locale, but on the
// wide text: in a double-byte code page a trail byte can look like 'A'..'Z' or '\'.
std::wstring LowerAscii(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

bool EndsWith(const std::wstring& text, const wchar_t* suffix)
{
    const std::wstring end(suffix);
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::wstring ProductVersionSuffix(const std::wstring& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return L" (version ?)";
    mrvBuffer<BYTE> record(size, "mrvInfo::AddFile", kFile, __LINE__);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, record.get()))
        return L" (version ?)";
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record.get(), L"\\", reinterpret_cast<void**>(&pInfo), &length) || !pInfo ||
        length < sizeof(VS_FIXEDFILEINFO))
        return L" (version ?)";
    wchar_t text[128];
    std::swprintf(text, 128, L" (version %u.%u.%u.%u)", HIWORD(pInfo->dwProductVersionMS),
                  LOWORD(pInfo->dwProductVersionMS), HIWORD(pInfo->dwProductVersionLS),
                  LOWORD(pInfo->dwProductVersionLS));
    return text;
}

} // namespace

mrvInfo::mrvInfo(mrvDialog* pParent, const mrvPrinter& printer)
    : mrvDialog("Info", pParent), m_pFileList(nullptr), m_Printer(printer)
{
}

mrvInfo::~mrvInfo() = default;

INT_PTR mrvInfo::DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return m_pParent ? m_pParent->DlgProc(hWnd, uMsg, wParam, lParam) : 0;
}

void mrvInfo::OnCreate()
{
    auto list = std::make_unique<mrvListBox>(this, IDC_FILE_LIST);
    AddItem(list.get());
    m_pFileList = list.release();
    Translate();
}

void mrvInfo::OnDestroy()
{
    // Destroy deletes the items next.
    m_pFileList = nullptr;
}

std::wstring mrvInfo::FileLine(const std::wstring& path)
{
    const std::wstring lower = LowerAscii(path);
    const size_t slash = lower.rfind(L'\\');
    if (slash == std::wstring::npos)
        return std::wstring();
    const bool program = lower.size() > 4 && (EndsWith(lower, L".dll") || EndsWith(lower, L".exe"));
    return lower.substr(slash + 1) + (program ? ProductVersionSuffix(lower) : std::wstring());
}

std::wstring mrvInfo::InfLine(uint64_t driverVersion)
{
    wchar_t text[128];
    std::swprintf(text, 128, L"quillor.inf (%u.%u.%u.%u)", static_cast<unsigned>((driverVersion >> 48) & 0xFFFF),
                  static_cast<unsigned>((driverVersion >> 32) & 0xFFFF),
                  static_cast<unsigned>((driverVersion >> 16) & 0xFFFF), static_cast<unsigned>(driverVersion & 0xFFFF));
    return text;
}

void mrvInfo::AddFile(const wchar_t* path)
{
    if (!m_pFileList || !path)
        return;
    const std::wstring line = FileLine(path);
    if (!line.empty())
        m_pFileList->AddText(line.c_str(), true);
}

// The printer's level-6 driver record; null when it cannot be read.
static std::unique_ptr<mrvBuffer<BYTE>> ReadDriver(const std::wstring& printerName)
{
    mrvPrinterHandle printer(printerName, 1024);
    if (!printer.Get())
        return nullptr;
    DWORD needed = 0;
    GetPrinterDriverW(printer.Get(), nullptr, 6, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_6W))
        return nullptr;
    auto info = std::make_unique<mrvBuffer<BYTE>>(needed, "mrvInfo::Translate", kFile, __LINE__);
    if (!GetPrinterDriverW(printer.Get(), nullptr, 6, info->get(), needed, &needed))
        return nullptr;
    return info;
}

std::optional<uint64_t> mrvInfo::ReadDriverVersion(const std::wstring& printerName)
{
    const auto info = ReadDriver(printerName);
    if (!info)
        return std::nullopt;
    return reinterpret_cast<const DRIVER_INFO_6W*>(info->get())->dwlDriverVersion;
}

void mrvInfo::AddDriverFiles()
{
    const auto info = ReadDriver(m_Printer.GetName());
    if (!info)
        return;
    const auto* pDriver = reinterpret_cast<const DRIVER_INFO_6W*>(info->get());
    for (const wchar_t* pFile = pDriver->pDependentFiles; pFile && *pFile; pFile += wcslen(pFile) + 1)
        AddFile(pFile);
    m_pFileList->AddText(InfLine(pDriver->dwlDriverVersion).c_str(), true);
}

void mrvInfo::Translate()
{
    if (!m_pFileList)
        return;
    SetDlgItemTextW(m_hWnd, IDC_SAVE_LOG, mrvLanguages::GetText(16).c_str());
    m_pFileList->Clear();
    wchar_t program[260] = {};
    GetModuleFileNameW(nullptr, program, 260);
    AddFile(program);
    AddDriverFiles();
    m_pFileList->AddText(mrvLanguages::GetVersionText().c_str(), true);
}
