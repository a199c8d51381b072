#include "debug_capture.h"
#include "page_support.h"
#include "utils.h"
#include "versionbitmap.h"
#include <vector>

using namespace mrvAPI;

namespace {

// Rows of the drawn bitmap that differ from the plain resource.
std::vector<bool> ChangedRows(HBITMAP hDrawn)
{
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    std::vector<DWORD> pixels[2];
    BITMAPINFO header = {};
    header.bmiHeader = {sizeof(BITMAPINFOHEADER), 300, -153, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC hDC = GetDC(nullptr);
    for (int i = 0; i < 2; ++i) {
        pixels[i].resize(300 * 153);
        GetDIBits(hDC, i ? hDrawn : plain.GetBitmap(), 0, 153, pixels[i].data(), &header, DIB_RGB_COLORS);
    }
    ReleaseDC(nullptr, hDC);
    std::vector<bool> changed(153, false);
    for (size_t p = 0; p < pixels[0].size(); ++p)
        changed[p / 300] = changed[p / 300] || ((pixels[0][p] ^ pixels[1][p]) & 0xFFFFFF) != 0;
    return changed;
}

// "-": no row of [from, to) changed; "+": one did.
std::string Bands(const std::vector<bool>& rows, std::initializer_list<int> limits)
{
    std::string bands;
    int from = 0;
    for (int to : limits) {
        bool any = false;
        for (int y = from; y < to; ++y)
            any = any || rows[y];
        bands += any ? '+' : '-';
        from = to;
    }
    return bands;
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

// The title goes into rows 30 to 60, the version line into rows 70 to 90; a long
// model name stays in its band, and a printer that cannot be opened gets no version line.
TEST_F(VersionBitmap, DrawsTitleAndDriverVersionInTheirBands)
{
    const mrvPrinter missing(L"No Such Printer " + qsmtest::SpoolerFixture::Tag(), L"FILE:",
                             L"VESTRANO QUILLOR SUPER WIDE FORMAT 3200 UV FLATBED");
    const struct {
        const mrvPrinter* printer;
        const char* line;
        const char* bands;
    } cases[] = {
        {m_pPrinter.get(), "Version 0.0.0.0\n", "-+-+-"}, // Wine reports every driver version as 0
        {&missing, "OpenPrinter lastError1801\n", "-+---"},
    };
    for (const auto& c : cases) {
        qsmtest::DebugCapture capture;
        mrvVersionBitmap bitmap(c.printer);
        SetLastError(0xdeadbeef);
        bitmap.Load(IDB_HEADER);
        ASSERT_NE(bitmap.GetBitmap(), nullptr);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(Bands(ChangedRows(bitmap.GetBitmap()), {30, 60, 70, 90, 153}), c.bands) << c.line;
    }
}

TEST(VersionBitmapLoad, MissingResourceDrawsNothingAndASecondLoadDeletesTheFirst)
{
    qsmtest::DebugCapture capture;
    const mrvPrinter missing = pagetest::MissingPrinter();
    mrvVersionBitmap bitmap(&missing);
    bitmap.Load(4711);
    EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    EXPECT_TRUE(capture.Lines().empty());

    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    HBITMAP hFirst = plain.GetBitmap();
    ASSERT_NE(hFirst, nullptr);
    plain.Load(IDB_HEADER);
    EXPECT_NE(plain.GetBitmap(), nullptr);
    BITMAP info = {};
    EXPECT_EQ(GetObjectW(hFirst, sizeof(info), &info), 0);
}
