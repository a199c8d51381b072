#pragma once
#include "buffer.h"
#include "lock.h"
#include "win.h"
#include <memory>
#include <string>
#include <vector>

namespace mrvAPI {

// A local printer (name, port, driver) and, as static members, the process-wide
// list of printers whose driver name contains the printer filter. Everybody but
// the list works on copies; a copy is closed after construction.
class mrvPrinter {
public:
    mrvPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver);
    mrvPrinter(const mrvPrinter& other); // copies the three names only
    mrvPrinter& operator=(const mrvPrinter&) = delete;
    virtual ~mrvPrinter(); // frees the snapshot; owners call Close first

    const std::wstring& GetName() const { return m_Name; }
    const std::wstring& GetPort() const { return m_Port; }
    const std::wstring& GetDriver() const { return m_Driver; }
    BYTE* GetDevMode() const { return m_pDevMode ? m_pDevMode->get() : nullptr; }
    bool IsOpen() const { return m_hPrinter != nullptr; }

    void Open();         // throws mrvException 0xE000F000 "Can't open printer."
    void Close();        // StoreDevMode when a snapshot exists, then ClosePrinter
    void StoreDevMode(); // writes the snapshot back and broadcasts WM_DEVMODECHANGE

    // The process-wide list; each call takes the "mrvPrinter" lock for its whole run.
    static void Enumerate(const wchar_t* pwMask);
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
