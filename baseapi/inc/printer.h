#pragma once
#include "buffer.h"
#include "lock.h"
#include "win.h"
#include <memory>
#include <string>
#include <vector>
#include <winspool.h>

// winspool.h maps GetPrinter to GetPrinterW, which would rename the list accessor
// below in every file that sees both; the spooler call is spelled GetPrinterW.
#ifdef GetPrinter
#undef GetPrinter
#endif

namespace mrvAPI {

// A local printer (name, port, driver) and, as static members, the process-wide
// list of printers whose driver name contains the printer filter. Everybody but
// the list works on copies; a copy is closed after construction.
class mrvPrinter {
public:
    mrvPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver);
    mrvPrinter(const mrvPrinter& other); // copies the three names only
    mrvPrinter& operator=(const mrvPrinter&) = delete;
    // Frees the snapshot. Owners call Close first; a handle left open is closed
    // here without writing the settings back.
    virtual ~mrvPrinter();

    const std::wstring& GetName() const { return m_Name; }
    const std::wstring& GetPort() const { return m_Port; }
    const std::wstring& GetDriver() const { return m_Driver; }
    BYTE* GetDevMode() const { return m_pDevMode ? m_pDevMode->get() : nullptr; }
    bool IsOpen() const { return m_hPrinter != nullptr; }

    // Throws mrvException 0xE000F000 "Can't open printer."; does nothing when the
    // printer is already open.
    void Open();
    void Close();        // StoreDevMode when a snapshot exists, then ClosePrinter
    // Closes without writing the settings back or announcing them: for an open
    // that only has to wake the spooler's side of the printer.
    void CloseQuietly();
    // Writes the snapshot back and broadcasts WM_DEVMODECHANGE; does nothing on a
    // closed printer or when the spooler gives no current settings to write into.
    void StoreDevMode();

    // The process-wide list; each call takes the "mrvPrinter" lock for its whole run.
    // False when the spooler could not give its list; the list then stays as it was.
    static bool Enumerate(const wchar_t* pwMask);
    // Whether Enumerate takes a printer with this driver: the mask is empty or
    // occurs in the driver name.
    static bool MatchesMask(const std::wstring& driver, const wchar_t* pwMask);
    static void Clear();
    static UINT GetCount();
    static mrvPrinter* GetPrinter(UINT index);    // new copy or nullptr; caller deletes
    static mrvPrinter* Find(const wchar_t* name); // new copy or nullptr; case-sensitive
    static UINT IndexOf(const mrvPrinter& printer); // GetCount() when not listed

private:
    std::wstring m_Name;
    std::wstring m_Port;
    std::wstring m_Driver;
    HANDLE m_hPrinter;
    mrvBuffer<BYTE>* m_pDevMode;
};

} // namespace mrvAPI
