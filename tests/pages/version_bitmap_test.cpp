#include "debug_capture.h"
#include "monitor.h"
#include "page_support.h"
#include "utils.h"
#include "versionbitmap.h"

using namespace mrvAPI;

namespace {

// For each band of rows [from, to) of the drawn bitmap: "+" when one of its rows
// differs from the plain resource, "-" when none does.
std::string ChangedBands(HBITMAP hDrawn, std::initializer_list<int> limits)
{
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    std::vector<DWORD> pixels[2];
    BITMAPINFO header = {};
    header.bmiHeader = {sizeof(BITMAPINFOHEADER), 300, -153, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC hDC = GetDC(nullptr);
    for (int i = 0; i < 2; ++i) {
        pixels[i].resize(300 * 153);
        GetDIBits(hDC, i ? hDrawn : plain.GetBitmap(), 0, 153, pixels[i].data(), &header, DIB_RGB_COLORS);
    }
    ReleaseDC(nullptr, hDC);
    std::string bands;
    int from = 0;
    for (int to : limits) {
        bool any = false;
        for (int p = from * 300; p < to * 300; ++p)
            any = any || ((pixels[0][p] ^ pixels[1][p]) & 0xFFFFFF) != 0;
        bands += any ? '+' : '-';
        from = to;
    }
    return bands;
}

using VersionBitmap = pagetest::PageTest<mrvMonitor>;

} // namespace

TEST(VersionBitmapTexts, TitleFromTheDriverNameAndVersionFromItsParts)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"VESTRANO QUILLOR 2", L"QUILLOR 2"}, {L"VESTRANO QUILLOR 2 p42", L"QUILLOR 2 p42"}, {L"OTHER MAKER QUILLOR", L"QUILLOR"},
        {L"VESTRANO", L"QUILLOR"}, // no blank after the maker
        {L"vestrano quillor 2", L"QUILLOR"}, // the prefix is case-sensitive
        {L" VESTRANO QUILLOR 2", L"QUILLOR"}, {L"VESTRANO ", L""}, {L"", L"QUILLOR"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvVersionBitmap::TitleText(c.first), c.second) << mrvUtils::W2M(c.first);
    // Wine reports every driver version as 0: the drawing tests cannot see the parts.
    EXPECT_EQ(mrvVersionBitmap::VersionText(0xFFFF0000000C0003ULL), L"Version 65535.0.12.3");
}

// The title goes into rows 30 to 60, the version line into rows 70 to 90; a long
// model name stays in its band, a printer that cannot be opened gets no version
// line, and a missing resource draws nothing.
TEST_F(VersionBitmap, DrawsTitleAndDriverVersionInTheirBands)
{
    const mrvPrinter missing = pagetest::MissingPrinter(L"VESTRANO QUILLOR SUPER WIDE FORMAT 3200 UV FLATBED");
    const struct {
        const mrvPrinter* printer;
        UINT resource;
        const char* line;
        const char* bands;
    } cases[] = {
        {m_pPrinter.get(), IDB_HEADER, "Version 0.0.0.0\n", "-+-+-"},
        {&missing, IDB_HEADER, "OpenPrinter lastError1801\n", "-+---"},
        {&missing, 4711, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        qsmtest::DebugCapture capture;
        mrvVersionBitmap bitmap(c.printer);
        SetLastError(0xdeadbeef);
        bitmap.Load(c.resource);
        EXPECT_EQ(capture.Lines(), c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{});
        if (c.bands)
            EXPECT_EQ(ChangedBands(bitmap.GetBitmap(), {30, 60, 70, 90, 153}), c.bands) << c.line;
        else
            EXPECT_EQ(bitmap.GetBitmap(), nullptr);
    }
    // A second load deletes the first bitmap.
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    const HBITMAP hFirst = plain.GetBitmap();
    plain.Load(IDB_HEADER);
    BITMAP info = {};
    EXPECT_NE(plain.GetBitmap(), nullptr);
    EXPECT_EQ(GetObjectW(hFirst, sizeof(info), &info), 0);
}
