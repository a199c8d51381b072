#include "info.h"
#include "item.h"
#include "page_support.h"
#include "utils.h"
#include "temp_folder.h"
#include <cstring>

using namespace mrvAPI;
using uitest::ListLines;

namespace {

const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);

std::wstring ProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// The line the program file of this test gets: its resources carry 1.0.0.0.
std::wstring ProgramLine()
{
    std::wstring path = ProgramPath();
    std::wstring name = path.substr(path.rfind(L'\\') + 1);
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(towlower(c));
    return name + L" (version 1.0.0.0)";
}

// A copy of this program whose only resource is a version record with product
// version 1.2.3.4 and another file version, which must not be shown.
bool WriteProgramCopy(const std::wstring& target)
{
    if (!CopyFileW(ProgramPath().c_str(), target.c_str(), FALSE))
        return false;
    HANDLE hUpdate = BeginUpdateResourceW(target.c_str(), TRUE);
    if (!hUpdate)
        return false;
    // VS_VERSIONINFO: header, key, padding to 32 bits, fixed record, no children.
    struct {
        WORD length;
        WORD valueLength;
        WORD type;
        wchar_t key[16];
        WORD padding;
        VS_FIXEDFILEINFO fixed;
    } record = {};
    static_assert(sizeof(record) == 92, "packed like the resource compiler packs it");
    record.length = sizeof(record);
    record.valueLength = sizeof(VS_FIXEDFILEINFO);
    std::memcpy(record.key, L"VS_VERSION_INFO", sizeof(record.key));
    record.fixed.dwSignature = 0xFEEF04BD;
    record.fixed.dwStrucVersion = 0x00010000;
    record.fixed.dwProductVersionMS = 0x00010002;
    record.fixed.dwProductVersionLS = 0x00030004;
    record.fixed.dwFileVersionMS = 0x00090008;
    record.fixed.dwFileVersionLS = 0x00070006;
    const bool updated = UpdateResourceW(hUpdate, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1),
                                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &record, sizeof(record)) != FALSE;
    return EndUpdateResourceW(hUpdate, !updated) != FALSE && updated;
}

class InfoPage : public pagetest::PageTest {
protected:
    void TearDown() override { m_pPage.reset(); }

    void CreatePage(const mrvPrinter& printer)
    {
        m_pPage = std::make_unique<mrvInfo>(&m_Owner, printer);
        m_pPage->Create(uitest::Instance(), IDD_INFO, 4, 30);
        ASSERT_NE(m_pPage->GetHwnd(), nullptr);
    }
    std::vector<std::wstring> Lines() const { return ListLines(GetDlgItem(m_pPage->GetHwnd(), IDC_FILE_LIST)); }

    std::unique_ptr<mrvInfo> m_pPage;
};

// A driver whose dependent-file list is empty, with one printer, installed for
// the length of a test.
class BareDriverPrinter {
public:
    BareDriverPrinter()
    {
        wchar_t dir[MAX_PATH] = {};
        DWORD needed = 0;
        if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir), sizeof(dir), &needed))
            return;
        std::wstring dll = std::wstring(dir) + L"\\" + qsmtest::SpoolerFixture::kTestDllName;
        CopyFileW(qsmtest::SpoolerFixture::TestDllPath().c_str(), dll.c_str(), FALSE);
        wchar_t noFiles[2] = {};
        DRIVER_INFO_3W driver = {};
        driver.cVersion = 3;
        driver.pName = &m_Driver[0];
        driver.pDriverPath = driver.pDataFile = driver.pConfigFile = &dll[0];
        driver.pDependentFiles = noFiles;
        if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES))
            return;
        m_DriverAdded = true;
        std::wstring port = L"FILE:", processor = L"winprint", datatype = L"RAW";
        PRINTER_INFO_2W p = {};
        p.pPrinterName = &m_Printer[0];
        p.pPortName = &port[0];
        p.pDriverName = &m_Driver[0];
        p.pPrintProcessor = &processor[0];
        p.pDatatype = &datatype[0];
        p.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        m_hPrinter = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&p));
    }
    ~BareDriverPrinter()
    {
        if (m_hPrinter) {
            DeletePrinter(m_hPrinter);
            ClosePrinter(m_hPrinter);
        }
        if (m_DriverAdded)
            DeletePrinterDriverW(nullptr, nullptr, &m_Driver[0]);
    }
    BareDriverPrinter(const BareDriverPrinter&) = delete;
    BareDriverPrinter& operator=(const BareDriverPrinter&) = delete;

    bool Installed() const { return m_hPrinter != nullptr; }
    mrvPrinter Record() const { return mrvPrinter(m_Printer, L"FILE:", m_Driver); }

private:
    std::wstring m_Driver = qsmtest::SpoolerFixture::Unique(L"VESTRANO QUILLOR BARE");
    std::wstring m_Printer = qsmtest::SpoolerFixture::Unique(L"Quillor Bare");
    bool m_DriverAdded = false;
    HANDLE m_hPrinter = nullptr;
};

} // namespace

TEST(InfoLines, FileLinesFromNameAndVersionRecord)
{
    qsmtest::TempFolder folder;
    const std::wstring tool = folder.FileName(L"Tool.EXE");
    ASSERT_TRUE(WriteProgramCopy(tool)) << GetLastError();
    const std::wstring notPe = folder.Write(L"Plain.DLL", "not a program");
    const std::wstring accented = folder.Write(L"Caf\u00E9.TXT", "text");

    const struct {
        std::wstring path;
        std::wstring line;
    } cases[] = {
        {tool, L"tool.exe (version 1.2.3.4)"},
        {notPe, L"plain.dll (version ?)"},
        {folder.FileName(L"Gone.Dll"), L"gone.dll (version ?)"},
        {accented, L"caf\u00E9.txt"},
        {L"C:\\folder\\Archive.EXE.txt", L"archive.exe.txt"},
        {L"C:\\.exe", L".exe (version ?)"},
        {L"tool.exe", L""}, // no backslash: no line
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mrvInfo::FileLine(c.path), c.line) << mrvUtils::W2M(c.path);
    EXPECT_EQ(mrvInfo::InfLine(0xFFFF000300020001ULL), L"quillor.inf (65535.3.2.1)");
}

TEST_F(InfoPage, ListsProgramDriverFilesInformationFileAndLanguage)
{
    CreatePage(*m_pPrinter);
    const std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], ProgramLine());
    // The test driver's dependent files: its DLL (5.0.12.3) and a data file.
    EXPECT_EQ(lines[1], L"quillortest.dll (version 5.0.12.3)");
    EXPECT_EQ(lines[2], L"quillortest.gpd");
    EXPECT_EQ(lines[3], L"quillor.inf (0.0.0.0)"); // Wine reports driver version 0
    EXPECT_EQ(lines[4], L"quillor.xml (version 2.5)");
    EXPECT_EQ(uitest::ControlText(m_pPage->GetHwnd(), IDC_SAVE_LOG), L"text16");
    m_pPage->AddFile(L"Notes.txt"); // no folder: no line

    // The main dialog translates once more: the list is rebuilt, not doubled.
    m_Language.Load("neu");
    m_pPage->Translate();
    EXPECT_EQ(Lines(), lines);
    EXPECT_EQ(uitest::ControlText(m_pPage->GetHwnd(), IDC_SAVE_LOG), L"neu16");
}

TEST_F(InfoPage, DriverWithoutDependentFilesGivesThreeLines)
{
    BareDriverPrinter bare;
    ASSERT_TRUE(bare.Installed()) << GetLastError();
    const mrvPrinter record = bare.Record();
    CreatePage(record);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{ProgramLine(), L"quillor.inf (0.0.0.0)",
                                                  L"quillor.xml (version 2.5)"}));
    m_pPage.reset();
}

TEST_F(InfoPage, PrinterThatCannotBeOpenedLeavesTheDriverOut)
{
    const mrvPrinter missing = pagetest::MissingPrinter();
    CreatePage(missing);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{ProgramLine(), L"quillor.xml (version 2.5)"}));
    m_pPage.reset();
}
