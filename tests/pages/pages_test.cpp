// The two pages of a printer's window and the header bitmap, each made on its own
// below a stand-in main dialog.
#include "../dialogs/ui_support.h"
#include "debug_capture.h"
#include "info.h"
#include "monitor.h"
#include "utils.h"
#include "versionbitmap.h"
#include <algorithm>

using namespace mrvAPI;
using uitest::ControlText;
using qsmtest::ListLines;
using Lines = std::vector<std::wstring>;

namespace {

// The line this test program gets: its resources carry 1.0.0.0.
const wchar_t* const kProgramLine = L"test_pages.exe (version 1.0.0.0)";

// A copy of this program whose only resource is a version record with product
// version 1.2.3.4 and another file version, which must not be shown.
bool WriteProgramCopy(const std::wstring& target)
{
    struct { // VS_VERSIONINFO: header, key, padding to 32 bits, fixed record, no children
        WORD length, valueLength, type;
        wchar_t key[16];
        WORD padding;
        VS_FIXEDFILEINFO fixed;
    } record = {sizeof(record), sizeof(VS_FIXEDFILEINFO), 0, L"VS_VERSION_INFO", 0,
                {0xFEEF04BD, 0x00010000, 0x00090008, 0x00070006, 0x00010002, 0x00030004, 0, 0, 0, 0, 0, 0, 0}};
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    HANDLE hUpdate = CopyFileW(program, target.c_str(), FALSE) ? BeginUpdateResourceW(target.c_str(), TRUE) : nullptr;
    const bool updated = hUpdate && UpdateResourceW(hUpdate, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &record, sizeof(record));
    return hUpdate && EndUpdateResourceW(hUpdate, !updated) && updated;
}

using InfoPage = uitest::PageTest<mrvInfo>;

using MonitorPage = uitest::PageTest<mrvMonitor>;

// For each band of rows [from, to) of the 300 x 153 header: "+" when the drawn
// bitmap differs there from the plain resource.
std::string ChangedBands(HBITMAP hDrawn, std::initializer_list<int> limits)
{
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    std::vector<DWORD> pixels[2] = {std::vector<DWORD>(300 * 153), std::vector<DWORD>(300 * 153)};
    BITMAPINFO header = {{sizeof(BITMAPINFOHEADER), 300, -153, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    const HDC hDC = GetDC(nullptr);
    GetDIBits(hDC, plain.GetBitmap(), 0, 153, pixels[0].data(), &header, DIB_RGB_COLORS);
    GetDIBits(hDC, hDrawn, 0, 153, pixels[1].data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, hDC);
    std::string bands;
    int from = 0;
    for (int to : limits) {
        bands += std::equal(pixels[0].data() + from * 300, pixels[0].data() + to * 300, pixels[1].data() + from * 300,
                            [](DWORD a, DWORD b) { return ((a ^ b) & 0xFFFFFF) == 0; }) ? '-' : '+';
        from = to;
    }
    return bands;
}


} // namespace

// The file lines of the Info page; the header's title and version line.
TEST(PageTexts, FileLinesFromNameAndVersionRecordHeaderTitleAndVersion)
{
    qsmtest::TempFolder folder;
    const std::wstring tool = folder.FileName(L"Tool.EXE");
    ASSERT_TRUE(WriteProgramCopy(tool)) << GetLastError();
    const std::pair<std::wstring, std::wstring> cases[] = {
        {tool, L"tool.exe (version 1.2.3.4)"},
        {folder.Write(L"Plain.DLL", "not a program"), L"plain.dll (version ?)"},
        {folder.FileName(L"Gone.Dll"), L"gone.dll (version ?)"},
        {folder.Write(L"Caf\u00E9.TXT", "text"), L"caf\u00E9.txt"},
        {L"C:\\folder\\Archive.EXE.txt", L"archive.exe.txt"},
        {L"C:\\.exe", L".exe (version ?)"},
        {L"tool.exe", L""}, // no backslash: no line
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvInfo::FileLine(c.first), c.second) << mrvUtils::W2M(c.first);
    EXPECT_EQ(mrvInfo::InfLine(0xFFFF000300020001ULL), L"quillor.inf (65535.3.2.1)");

    const std::pair<const wchar_t*, const wchar_t*> titles[] = {
        {L"VESTRANO QUILLOR 2", L"QUILLOR 2"}, {L"VESTRANO", L"QUILLOR"}, {L"vestrano quillor 2", L"QUILLOR"},
        {L" VESTRANO QUILLOR 2", L"QUILLOR"},  {L"VESTRANO ", L""},
    };
    for (const auto& c : titles)
        EXPECT_EQ(mrvVersionBitmap::TitleText(c.first), c.second) << mrvUtils::W2M(c.first);
    // Wine reports every driver version as 0: the drawing tests cannot see the parts.
    EXPECT_EQ(mrvVersionBitmap::VersionText(0xFFFF0000000C0003ULL), L"Version 65535.0.12.3");
}

// Program, the driver's dependent files (its DLL and a data file), the information
// file (Wine reports driver version 0) and the language file; a printer that
// cannot be opened leaves the driver out.
TEST_F(InfoPage, ListsProgramDriverFilesInformationFileAndLanguage)
{
    Create(m_Printer, IDD_INFO);
    const Lines lines = ListLines(Control(IDC_FILE_LIST));
    EXPECT_EQ(lines, (Lines{kProgramLine, L"quillortest.dll (version 5.0.12.3)", L"quillortest.gpd", L"quillor.inf (0.0.0.0)",
                            L"quillor.xml (version 2.5)"}));
    EXPECT_EQ(ControlText(Dlg(), IDC_SAVE_LOG), L"text16");
    m_pPage->AddFile(L"Notes.txt"); // no folder: no line
    // The main dialog translates once more: the list is rebuilt, not doubled.
    uitest::LoadLanguage("neu");
    m_pPage->Translate();
    EXPECT_EQ(ListLines(Control(IDC_FILE_LIST)), lines);
    EXPECT_EQ(ControlText(Dlg(), IDC_SAVE_LOG), L"neu16");

    const mrvPrinter missing = uitest::MissingPrinter();
    Create(missing, IDD_INFO);
    EXPECT_EQ(ListLines(Control(IDC_FILE_LIST)), (Lines{kProgramLine, L"quillor.xml (version 2.5)"}));
    m_pPage.reset();
}

TEST_F(MonitorPage, CaptionsBarsTextsAndStatusAndNumberLinesInTwoLanguages)
{
    Create(m_Printer, IDD_MONITOR);
    m_pPage->Translate();
    const auto BarPos = [&](int id) { return SendMessageW(Control(id), PBM_GETPOS, 0, 0); };
    const std::pair<int, const wchar_t*> captions[] = {
        {IDC_STATUS_FRAME, L"text7"}, {IDC_MAT_CODE_FRAME, L"text8"}, {IDC_INK_CAPTION, L"text9"},   {IDC_UV_CAPTION, L"text10"},
        {IDC_PRINTJOB_FRAME, L"text21"}, {IDC_JOB_COUNT, L"text22 0"}, {IDC_JOB_NAME, L"text23 "},
    };
    for (const auto& c : captions)
        EXPECT_EQ(ControlText(Dlg(), c.first), c.second) << c.first;
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 0);
    EXPECT_FALSE(IsWindowVisible(Dlg()));
    // The bars run from 0 to 100; each value reaches its own bar.
    m_pPage->SetInkLevel(150);
    m_pPage->SetUvLamp(5);
    EXPECT_EQ(BarPos(IDC_INK_LEVEL), 100);
    EXPECT_EQ(BarPos(IDC_UV_LAMP), 5);
    BITMAP info = {}; // the header shows the resource bitmap
    const auto hShown = reinterpret_cast<HBITMAP>(SendMessageW(Control(IDC_HEADER), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_EQ(GetObjectW(hShown, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 300);
    m_pPage->SetMaterialCode("UV-\xC3\x9C" "42"); // UTF-8 "UV-Ü42"
    EXPECT_EQ(ControlText(Dlg(), IDC_MAT_CODE), L"UV-\u00DC42");
    m_pPage->SetPrintJob("Brochure.pdf");
    EXPECT_EQ(ControlText(Dlg(), IDC_JOB_NAME), L"text23 Brochure.pdf");
    m_pPage->SetPrintJob(std::string(600, 'j')); // lines are cut to 511 characters
    EXPECT_EQ(ControlText(Dlg(), IDC_JOB_NAME), L"text23 " + std::wstring(511 - 7, L'j'));
    EXPECT_EQ(mrvMonitor::QueuedJobCount(uitest::MissingPrinter().GetName()), 0u);
    m_pPage->SetPrintJob("");

    m_pPage->AddStatus(40);
    m_pPage->AddNumber(65535);
    m_pPage->AddStatus(41);
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)), (Lines{L"text40", L"text19 65535 text20", L"text41"}));
    // Status lines come back in the new language; number lines keep their text.
    uitest::LoadLanguage("neu");
    m_pPage->Translate();
    EXPECT_EQ(ListLines(Control(IDC_STATUS_LIST)), (Lines{L"neu40", L"text19 65535 text20", L"neu41"}));
    EXPECT_EQ(ControlText(Dlg(), IDC_STATUS_FRAME) + L"|" + ControlText(Dlg(), IDC_JOB_NAME) + L"|" + ControlText(Dlg(), IDC_JOB_COUNT),
              L"neu7|neu23 |neu22 0");
    // The newest line comes into view.
    for (int i = 0; i < 20; ++i)
        m_pPage->AddStatus(42);
    EXPECT_GT(SendMessageW(Control(IDC_STATUS_LIST), LB_GETTOPINDEX, 0, 0), 10);
    m_pPage->AddNumber(7); // a number line too
    EXPECT_EQ(SendMessageW(Control(IDC_STATUS_LIST), LB_GETCURSEL, 0, 0), 23);
    // Once destroyed, the page ignores everything.
    m_pPage->Destroy();
    m_pPage->AddStatus(40);
    m_pPage->AddNumber(1);
    m_pPage->SetInkLevel(5);
    m_pPage->SetMaterialCode("x");
    m_pPage->Translate();
    EXPECT_EQ(m_pPage->GetHwnd(), nullptr);
}

// The title goes into rows 30 to 60, the version line into rows 70 to 90; a long
// model name stays in its band, a printer that cannot be opened gets no version
// line, and a missing resource draws nothing.
TEST_F(MonitorPage, HeaderBitmapDrawsTitleAndDriverVersionInTheirBands)
{
    const mrvPrinter missing = uitest::MissingPrinter(L"VESTRANO QUILLOR SUPER WIDE FORMAT 3200 UV FLATBED");
    const struct {
        const mrvPrinter* printer;
        UINT resource;
        std::vector<std::string> lines;
        const char* bands;
    } cases[] = {
        {&m_Printer, IDB_HEADER, {"Version 0.0.0.0\n"}, "-+-+-"},
        {&missing, IDB_HEADER, {"OpenPrinter lastError1801\n"}, "-+---"},
        {&missing, 4711, {}, ""},
    };
    for (const auto& c : cases) {
        qsmtest::DebugCapture capture;
        mrvVersionBitmap bitmap(c.printer);
        SetLastError(0xdeadbeef);
        bitmap.Load(c.resource);
        EXPECT_EQ(capture.Lines(), c.lines);
        EXPECT_EQ(*c.bands ? ChangedBands(bitmap.GetBitmap(), {30, 60, 70, 90, 153}) : bitmap.GetBitmap() ? "drawn" : "", c.bands);
    }
    // A second load deletes the first bitmap.
    mrvBitmap plain;
    plain.Load(IDB_HEADER);
    const HBITMAP hFirst = plain.GetBitmap();
    plain.Load(IDB_HEADER);
    EXPECT_NE(plain.GetBitmap(), nullptr);
    EXPECT_EQ(GetObjectType(hFirst), 0u);
}
