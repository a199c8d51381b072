// Stands in for a printer driver's files in the spooler tests: the spooler loads it
// as the driver's configuration module to get default device settings, and the
// Info page reads its version record.
#include "win.h"
#include <cwchar>

namespace {

// The header the spooler passes when it wants device settings without a dialog.
struct DocumentPropertyHeader {
    WORD cbSize, Reserved;
    HANDLE hPrinter;
    LPCWSTR pszPrinterName;
    DEVMODEW *pdmIn, *pdmOut;
    DWORD cbOut, fMode;
};

// Private bytes after the public part, so that dmDriverExtra is not 0.
constexpr WORD kDriverExtra = 16;
constexpr DWORD kDevModeBytes = sizeof(DEVMODEW) + kDriverExtra;

} // namespace

extern "C" __declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* pPSUIInfo, LPARAM lParam)
{
    DocumentPropertyHeader* dph = reinterpret_cast<DocumentPropertyHeader*>(lParam);
    if (pPSUIInfo || !dph)
        return -1;
    if (dph->fMode == 0 || !dph->pdmOut) {
        dph->cbOut = kDevModeBytes;
        return static_cast<LONG>(kDevModeBytes);
    }
    DEVMODEW* dm = dph->pdmOut;
    const bool keepOrientation = (dph->fMode & DM_IN_BUFFER) && dph->pdmIn && (dph->pdmIn->dmFields & DM_ORIENTATION);
    const short orientation = keepOrientation ? dph->pdmIn->dmOrientation : DMORIENT_PORTRAIT;
    ZeroMemory(dm, kDevModeBytes);
    if (dph->pszPrinterName)
        wcsncpy(dm->dmDeviceName, dph->pszPrinterName, CCHDEVICENAME - 1);
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmSize = sizeof(DEVMODEW);
    dm->dmDriverExtra = kDriverExtra;
    dm->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    dm->dmOrientation = orientation;
    dm->dmPaperSize = DMPAPER_A4;
    dm->dmCopies = 1;
    FillMemory(dm + 1, kDriverExtra, 0xA5);
    return IDOK;
}

extern "C" __declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPCWSTR, WORD, void*, const DEVMODEW*)
{
    return 0;
}
