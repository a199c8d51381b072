#include "maindlg_fixture.h"
#include "resource.h"

using namespace mrvAPI;
using qsmtest::FakeLanguageMonitor;
using qsmtest::LmReply;
using qsmtest::SpoolerFixture;

namespace mdtest {

namespace {
const auto* const g_Controls = ::testing::AddGlobalTestEnvironment(new uitest::CommonControls);
const UINT kTextIds[] = {6, 7, 8, 9, 10, 11, 12, 16, 17, 19, 20, 21, 22, 23, 25, 26, 40, 41};

std::string LanguageXml()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillor><version number=\"3.1\"/>"
                      "<language name=\"en\">";
    for (UINT id : kTextIds)
        xml += "<text id=\"" + std::to_string(id) + "\">T" + std::to_string(id) + "</text>";
    return xml + "</language></quillor>";
}

// Answers for a quiet polling cycle: the state check stops at its gate, every
// polled command is answered at once.
void AnswerPolling(FakeLanguageMonitor& lm)
{
    lm.OnCommand(5, LmReply::Answer(std::string("\x85\x00", 2)));
    lm.OnCommand(9, LmReply::Answer(std::string("\x89\x00\x2C\x01", 4)));
    lm.OnCommand(1, LmReply::Answer(std::string("\x81\x00\x32", 3)));
    lm.OnCommand(2, LmReply::Answer(std::string("\x82\x00\x10", 3)));
    lm.OnCommand(3, LmReply::Answer(std::string("\x83\x00\x00", 3)));
    lm.OnCommand(6, LmReply::Answer(std::string("\x86\x00MC-1", 6)));
    lm.OnCommand(7, LmReply::Answer(std::string("\x87\x00Job", 5)));
}

} // namespace

std::wstring Text(UINT id)
{
    return L"T" + std::to_wstring(id);
}

HWND ChildHolding(HWND hParent, int controlId)
{
    for (HWND child = GetWindow(hParent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, controlId))
            return child;
    return nullptr;
}

int CountChildrenHolding(HWND hParent, int controlId)
{
    int count = 0;
    for (HWND child = GetWindow(hParent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        count += GetDlgItem(child, controlId) ? 1 : 0;
    return count;
}

bool HasVisibleStyle(HWND hWnd)
{
    return (GetWindowLongW(hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

HCURSOR CursorAfterSetCursor(HWND hDlg)
{
    SetCursor(nullptr);
    SendMessageW(hDlg, WM_SETCURSOR, reinterpret_cast<WPARAM>(hDlg), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
}

qsmtest::SpoolerFixture* MainDialogTest::s_pSpooler = nullptr;

std::wstring MainDialogTest::PrinterName()
{
    return SpoolerFixture::Unique(L"Quillor Main");
}

void MainDialogTest::SetUpTestSuite()
{
    s_pSpooler = new SpoolerFixture;
    ASSERT_TRUE(s_pSpooler->InstallPrinter(PrinterName(), L"FILE:", SpoolerFixture::QuillorDriver()));
}

void MainDialogTest::TearDownTestSuite()
{
    delete s_pSpooler;
    s_pSpooler = nullptr;
}

void MainDialogTest::SetUp()
{
    m_Folder.Write(L"quillor.xml", LanguageXml());
    m_Registry.SetPath(m_Folder.Path());
    m_Registry.SetUpdateTime(L"50");
    m_Registry.SetTcpPort(m_Lm.Port());
    // Any window that gets shown makes its worker poll; keep those cycles short.
    AnswerPolling(m_Lm);
    mrvLanguages::Load();
    mrvPrinter::Enumerate(L"QUILLOR");
    m_pPrinter.reset(mrvPrinter::Find(PrinterName().c_str()));
    ASSERT_NE(m_pPrinter, nullptr);
}

void MainDialogTest::TearDown()
{
    DestroyDialog();
    mrvPrinter::Clear();
    mrvLanguages::Clear();
}

mrvMainDialog& MainDialogTest::Make()
{
    m_pDialog = std::make_unique<mrvMainDialog>(*m_pPrinter);
    m_pDialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
    m_pDialog->Hide();
    return *m_pDialog;
}

void MainDialogTest::DestroyDialog()
{
    if (!m_pDialog)
        return;
    m_pDialog->Destroy();
    m_pDialog.reset();
}

void MainDialogTest::SelectTab(int index)
{
    // What the tab control does on a click: select, then notify its parent.
    SendMessageW(Tab(), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    NMHDR header = {Tab(), 1002, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(Dlg(), WM_NOTIFY, 1002, reinterpret_cast<LPARAM>(&header));
}

} // namespace mdtest
