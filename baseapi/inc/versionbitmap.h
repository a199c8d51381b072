#pragma once
#include "win.h"
#include <cstdint>
#include <string>

namespace mrvAPI {

class mrvPrinter;

// A bitmap resource of the program's module; the bitmap is deleted with the object.
class mrvBitmap {
public:
    mrvBitmap() : m_hBitmap(nullptr) {}
    virtual ~mrvBitmap();
    mrvBitmap(const mrvBitmap&) = delete;
    mrvBitmap& operator=(const mrvBitmap&) = delete;

    // Replaces (and deletes) a bitmap loaded before; null when the resource is missing.
    virtual void Load(WORD resourceId);
    HBITMAP GetBitmap() const { return m_hBitmap; }

protected:
    HBITMAP m_hBitmap;
};

// The header picture of the Monitor page: the bitmap with the printer model's
// name and the driver version drawn into it.
class mrvVersionBitmap : public mrvBitmap {
public:
    explicit mrvVersionBitmap(const mrvPrinter* pPrinter) : m_pPrinter(pPrinter) {}

    void Load(WORD resourceId) override;
    void UpdateImage();

    // "QUILLOR", or the model part of a driver name that begins with "VESTRANO ".
    static std::wstring TitleText(const std::wstring& driverName);
    // "Version a.b.c.d" from the four 16-bit parts, most significant first.
    static std::wstring VersionText(uint64_t driverVersion);

private:
    std::wstring ReadVersionText() const;

    const mrvPrinter* m_pPrinter;
};

} // namespace mrvAPI
