#include "versionbitmap.h"
#include "buffer.h"
#include "debug.h"
#include "printer.h"
#include "printerhandle.h"
#include <cstdio>
#include <cwchar>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\versionbitmap";
const wchar_t* const kMakerPrefix = L"VESTRANO ";

// The screen's device context, released when it leaves scope.
class ScreenDC {
public:
    ScreenDC() : m_hDC(GetDC(nullptr)) {}
    ~ScreenDC()
    {
        if (m_hDC)
            ReleaseDC(nullptr, m_hDC);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

class MemoryDC {
public:
    explicit MemoryDC(HDC hCompatible) : m_hDC(CreateCompatibleDC(hCompatible)) {}
    ~MemoryDC()
    {
        if (m_hDC)
            DeleteDC(m_hDC);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return m_hDC; }

private:
    HDC m_hDC;
};

class Font {
public:
    Font(int height, int weight, const wchar_t* face)
        : m_hFont(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, 0, 0, 0, 0, 16, face))
    {
    }
    ~Font()
    {
        if (m_hFont)
            DeleteObject(m_hFont);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    HFONT Get() const { return m_hFont; }

private:
    HFONT m_hFont;
};

// Selects an object into a device context and puts the replaced one back
// when it leaves scope, so nothing is deleted while still selected.
class Selection {
public:
    Selection(HDC hDC, HGDIOBJ hObject) : m_hDC(hDC), m_hOld(hObject ? SelectObject(hDC, hObject) : nullptr) {}
    ~Selection()
    {
        if (m_hOld && m_hOld != HGDI_ERROR)
            SelectObject(m_hDC, m_hOld);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

void DrawCentered(HDC hDC, const std::wstring& text, int top, int bottom)
{
    RECT rect = {0, top, 300, bottom};
    DrawTextW(hDC, text.c_str(), -1, &rect, DT_CENTER);
}

} // namespace

mrvBitmap::~mrvBitmap()
{
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
}

void mrvBitmap::Load(WORD resourceId)
{
    if (m_hBitmap)
        DeleteObject(m_hBitmap);
    // The module of the running program: the instance handle WinMain receives.
    m_hBitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP,
                                                0, 0, LR_LOADMAP3DCOLORS));
}

void mrvVersionBitmap::Load(WORD resourceId)
{
    mrvBitmap::Load(resourceId);
    UpdateImage();
}

std::wstring mrvVersionBitmap::TitleText(const std::wstring& driverName)
{
    const size_t prefixLength = std::wcslen(kMakerPrefix);
    if (driverName.compare(0, prefixLength, kMakerPrefix) == 0)
        return driverName.substr(prefixLength);
    return L"QUILLOR";
}

std::wstring mrvVersionBitmap::VersionText(uint64_t driverVersion)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"Version %u.%u.%u.%u", static_cast<unsigned>((driverVersion >> 48) & 0xFFFF),
                  static_cast<unsigned>((driverVersion >> 32) & 0xFFFF),
                  static_cast<unsigned>((driverVersion >> 16) & 0xFFFF), static_cast<unsigned>(driverVersion & 0xFFFF));
    return text;
}

std::wstring mrvVersionBitmap::ReadVersionText() const
{
    mrvPrinterHandle printer(m_pPrinter->GetName(), 1024);
    if (!printer.Get()) {
        const DWORD error = GetLastError();
        mrvDebugLine() << "OpenPrinter lastError" << error;
        return std::wstring();
    }
    DWORD needed = 0;
    GetPrinterDriverW(printer.Get(), nullptr, 6, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_6W))
        return std::wstring();
    mrvBuffer<BYTE> info(needed, "mrvAPI::mrvVersionBitmap::UpdateImage", kFile, __LINE__);
    if (!GetPrinterDriverW(printer.Get(), nullptr, 6, info.get(), needed, &needed))
        return std::wstring();
    const auto* pDriver = reinterpret_cast<const DRIVER_INFO_6W*>(info.get());
    std::wstring text = VersionText(pDriver->dwlDriverVersion);
    DebugOutW(text + L"\n");
    return text;
}

void mrvVersionBitmap::UpdateImage()
{
    // Without the bitmap (a fault of the build) there is nothing to draw on.
    if (!m_hBitmap || !m_pPrinter)
        return;
    ScreenDC screen;
    MemoryDC memory(screen.Get());
    Selection bitmap(memory.Get(), m_hBitmap);

    Font titleFont(36, FW_BOLD, L"Arial Black");
    Selection title(memory.Get(), titleFont.Get());
    DrawCentered(memory.Get(), TitleText(m_pPrinter->GetDriver()), 30, 60);

    Font versionFont(20, FW_NORMAL, L"Arial");
    Selection version(memory.Get(), versionFont.Get());
    DrawCentered(memory.Get(), ReadVersionText(), 70, 90);
}

} // namespace mrvAPI
