#include "debug_capture.h"
#include "page_support.h"
#include "utils.h"
#include "versionbitmap.h"
#include <vector>

using namespace mrvAPI;

namespace {

// The bitmap's pixels as 32-bit values, top row first.
std::vector<DWORD> Pixels(HBITMAP hBitmap, int& width, int& height)
{
    BITMAP info = {};
    GetObjectW(hBitmap, sizeof(info), &info);
    width = info.bmWidth;
    height = info.bmHeight;
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(header.bmiHeader);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    HDC hDC = GetDC(nullptr);
    GetDIBits(hDC, hBitmap, 0, height, pixels.data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, hDC);
    return pixels;
}

// Rows of the drawn bitmap that differ from the plain resource.
std::vector<bool> ChangedRows(HBITMAP hDrawn)
{
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const std::vector<DWORD> a = Pixels(plain.GetBitmap(), w1, h1);
    const std::vector<DWORD> b = Pixels(hDrawn, w2, h2);
    std::vector<bool> changed(static_cast<size_t>(h1), false);
    if (w1 != w2 || h1 != h2)
        return changed;
    for (int y = 0; y < h1; ++y)
        for (int x = 0; x < w1; ++x)
            if ((a[y * w1 + x] & 0xFFFFFF) != (b[y * w1 + x] & 0xFFFFFF))
                changed[y] = true;
    return changed;
}

bool AnyChanged(const std::vector<bool>& rows, int from, int to)
{
    for (int y = from; y < to && y < static_cast<int>(rows.size()); ++y)
        if (rows[y])
            return true;
    return false;
}

class VersionBitmap : public pagetest::PageTest {};

} // namespace

TEST(VersionBitmapTexts, TitleFromTheDriverNameAndVersionFromItsParts)
{
    const struct {
        const wchar_t* driver;
        const wchar_t* title;
    } cases[] = {
        {L"VESTRANO QUILLOR 2", L"QUILLOR 2"},
        {L"VESTRANO QUILLOR 2 p42", L"QUILLOR 2 p42"},
        {L"OTHER MAKER QUILLOR", L"QUILLOR"},
        {L"VESTRANO", L"QUILLOR"},          // no blank after the maker
        {L"vestrano quillor 2", L"QUILLOR"}, // the prefix is case-sensitive
        {L" VESTRANO QUILLOR 2", L"QUILLOR"},
        {L"VESTRANO ", L""},
        {L"", L"QUILLOR"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvVersionBitmap::TitleText(c.driver), c.title) << mrvUtils::W2M(c.driver);
    // Wine reports every driver version as 0: the drawing tests cannot see the parts.
    EXPECT_EQ(mrvVersionBitmap::VersionText(0xFFFF0000000C0003ULL), L"Version 65535.0.12.3");
}

TEST_F(VersionBitmap, DrawsTitleAndDriverVersion)
{
    qsmtest::DebugCapture capture;
    mrvVersionBitmap bitmap(m_pPrinter.get());
    bitmap.Load(IDB_HEADER);
    ASSERT_NE(bitmap.GetBitmap(), nullptr);
    BITMAP info = {};
    GetObjectW(bitmap.GetBitmap(), sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, 300);
    EXPECT_EQ(info.bmHeight, 153);

    // Wine reports every driver version as 0.
    EXPECT_EQ(capture.Count("Version 0.0.0.0\n"), 1u);
    const std::vector<bool> rows = ChangedRows(bitmap.GetBitmap());
    EXPECT_TRUE(AnyChanged(rows, 30, 60));
    EXPECT_TRUE(AnyChanged(rows, 70, 90));
    EXPECT_FALSE(AnyChanged(rows, 0, 30));
    EXPECT_FALSE(AnyChanged(rows, 60, 70));
    EXPECT_FALSE(AnyChanged(rows, 90, 153));
}

// A long model name stays on one line inside its band; without a printer to open
// there is no version line.
TEST_F(VersionBitmap, PrinterThatCannotBeOpenedLeavesTheVersionOut)
{
    qsmtest::DebugCapture capture;
    const mrvPrinter missing(L"No Such Printer " + qsmtest::SpoolerFixture::Tag(), L"FILE:",
                             L"VESTRANO QUILLOR SUPER WIDE FORMAT 3200 UV FLATBED");
    mrvVersionBitmap bitmap(&missing);
    SetLastError(0xdeadbeef);
    bitmap.Load(IDB_HEADER);
    ASSERT_NE(bitmap.GetBitmap(), nullptr);
    EXPECT_EQ(capture.Count("OpenPrinter lastError" + std::to_string(ERROR_INVALID_PRINTER_NAME) + "\n"), 1u);
    EXPECT_EQ(capture.CountContaining("Version "), 0u);
    const std::vector<bool> rows = ChangedRows(bitmap.GetBitmap());
    EXPECT_TRUE(AnyChanged(rows, 30, 60));
    EXPECT_FALSE(AnyChanged(rows, 0, 30));
    EXPECT_FALSE(AnyChanged(rows, 60, 153));
}

TEST(VersionBitmapLoad, MissingResourceLeavesNoBitmapAndDrawsNothing)
{
    qsmtest::DebugCapture capture;
    const mrvPrinter missing = pagetest::MissingPrinter();
    mrvVersionBitmap bitmap(&missing);
    bitmap.Load(4711);
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    EXPECT_EQ(capture.CountContaining("OpenPrinter"), 0u);

    // A second load replaces the first bitmap, which is deleted.
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    HBITMAP hFirst = plain.GetBitmap();
    ASSERT_NE(hFirst, nullptr);
    plain.Load(IDB_HEADER);
    EXPECT_NE(plain.GetBitmap(), nullptr);
    BITMAP info = {};
    EXPECT_EQ(GetObjectW(hFirst, sizeof(info), &info), 0);
}
