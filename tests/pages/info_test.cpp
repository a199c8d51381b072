#include "info.h"
#include "page_support.h"
#include "utils.h"
#include <cstring>

using namespace mrvAPI;
using Lines = std::vector<std::wstring>;

namespace {

const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);

std::wstring ProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// The line this test program gets: its resources carry 1.0.0.0.
std::wstring ProgramLine()
{
    std::wstring name = ProgramPath().substr(ProgramPath().rfind(L'\\') + 1);
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(towlower(c));
    return name + L" (version 1.0.0.0)";
}

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
    static_assert(sizeof(record) == 92, "packed like the resource compiler packs it");
    HANDLE hUpdate = CopyFileW(ProgramPath().c_str(), target.c_str(), FALSE) ? BeginUpdateResourceW(target.c_str(), TRUE) : nullptr;
    const bool updated = hUpdate && UpdateResourceW(hUpdate, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &record, sizeof(record));
    return hUpdate && EndUpdateResourceW(hUpdate, !updated) && updated;
}

using InfoPage = pagetest::PageTest<mrvInfo>;

} // namespace

TEST(InfoLines, FileLinesFromNameAndVersionRecord)
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
}

// Program, the driver's dependent files (its DLL and a data file), the information
// file (Wine reports driver version 0) and the language file; a printer that
// cannot be opened leaves the driver out.
TEST_F(InfoPage, ListsProgramDriverFilesInformationFileAndLanguage)
{
    Create(*m_pPrinter, IDD_INFO);
    const Lines lines = uitest::ListLines(Control(IDC_FILE_LIST));
    EXPECT_EQ(lines, (Lines{ProgramLine(), L"quillortest.dll (version 5.0.12.3)", L"quillortest.gpd", L"quillor.inf (0.0.0.0)",
                            L"quillor.xml (version 2.5)"}));
    EXPECT_EQ(uitest::ControlText(Dlg(), IDC_SAVE_LOG), L"text16");
    m_pPage->AddFile(L"Notes.txt"); // no folder: no line
    // The main dialog translates once more: the list is rebuilt, not doubled.
    m_Language.Load("neu");
    m_pPage->Translate();
    EXPECT_EQ(uitest::ListLines(Control(IDC_FILE_LIST)), lines);
    EXPECT_EQ(uitest::ControlText(Dlg(), IDC_SAVE_LOG), L"neu16");

    const mrvPrinter missing = pagetest::MissingPrinter();
    Create(missing, IDD_INFO);
    EXPECT_EQ(uitest::ListLines(Control(IDC_FILE_LIST)), (Lines{ProgramLine(), L"quillor.xml (version 2.5)"}));
    m_pPage.reset();
}
