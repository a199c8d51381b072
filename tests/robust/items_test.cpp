// Small faults around the edges: names and paths beyond the ANSI code page, "&"
// in a printer name, the save dialog, keyboard use, texts posted from outside.
#include "robust.h"
#include "dialog_driver.h"
#include "item.h"
#include "language.h"
#include "maindlg.h"
#include "messages.h"
#include "printer.h"
#include "pump.h"
#include "resource.h"
#include "temp_folder.h"
#include "thread.h"
#include "trydlg.h"
#include "utils.h"
#include "window_probe.h"
#include <commctrl.h>
#include <functional>
#include <memory>
#include <new>

using mrvAPI::mrvPrinter;
using qsmtest::PumpUntil;
using qsmtest::SpoolerFixture;

namespace {

using Items = robust::Robust;

// Characters outside every Western ANSI code page.
const std::wstring kWide = L"\u6253\u5370\u6A5F";

TEST_F(Items, APrinterNamedOnTheCommandLineIsFoundWhateverItsCharacters)
{
    const std::wstring wide = SpoolerFixture::Unique(L"Quillor " + kWide);
    const std::wstring ascii = SpoolerFixture::Unique(L"Quillor Plain");
    Install(wide);
    Install(ascii);
    for (const std::wstring& named : {wide, ascii}) {
        SCOPED_TRACE(mrvAPI::mrvUtils::W2M(named));
        const std::wstring other = named == wide ? ascii : wide;
        qsmtest::ChildProcess program;
        ASSERT_TRUE(program.Start(L"\"" + qsmtest::ExeDir() + L"..\\QuillorStatusMonitor.exe\" " + named));
        HWND hNamed = nullptr;
        HWND hOther = nullptr;
        EXPECT_TRUE(PumpUntil(
            [&] {
                hNamed = qsmtest::WaitForTopWindow(mrvMainDialog::MakeTitle(named, L"FILE:"), 0);
                hOther = qsmtest::WaitForTopWindow(mrvMainDialog::MakeTitle(other, L"FILE:"), 0);
                return hNamed && hOther && IsWindowVisible(hNamed);
            },
            20000));
        EXPECT_FALSE(hOther && IsWindowVisible(hOther));
        program.Kill();
    }
}

TEST_F(Items, TheLanguageFileIsReadFromAFolderOutsideTheAnsiCodePage)
{
    qsmtest::TempFolder folder;
    const std::wstring path = folder.Path() + L"\\" + kWide;
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    const std::wstring file = path + L"\\quillor.xml";
    ASSERT_TRUE(CopyFileW((qsmtest::ExeDir() + L"qsm_language\\quillor.xml").c_str(), file.c_str(), FALSE));
    const std::wstring expected = mrvAPI::mrvLanguages::GetText(6);
    m_Registry.SetPath(path);
    mrvAPI::mrvLanguages::Clear();
    EXPECT_NO_THROW(mrvAPI::mrvLanguages::Load());
    EXPECT_EQ(mrvAPI::mrvLanguages::GetText(6), expected);
    DeleteFileW(file.c_str());
    RemoveDirectoryW(path.c_str());
}

TEST_F(Items, AnAmpersandInAPrinterNameShowsInTheTrayMenu)
{
    const std::wstring name = SpoolerFixture::Unique(L"Quillor R&D");
    Install(name);
    mrvPrinter::Enumerate(SpoolerFixture::QuillorDriver().c_str());
    mrvTryDialog tray;
    mrvAPI::mrvPopupMenu menu(&tray, 0);
    tray.addMenuEntries(&menu);
    wchar_t text[256] = {};
    GetMenuStringW(menu.GetHmenu(), 0, text, 256, MF_BYPOSITION);
    // Doubled, "&" is drawn as itself instead of marking the next letter.
    EXPECT_EQ(std::wstring(text), SpoolerFixture::Unique(L"Quillor R&&D"));
}

// A main dialog for this program's printer, shown, with the Info page in front.
class WithDialog : public robust::Robust {
protected:
    void SetUp() override
    {
        robust::Robust::SetUp();
        InstallNumbered(1);
        std::unique_ptr<mrvPrinter> printer(mrvPrinter::GetPrinter(0));
        ASSERT_NE(printer, nullptr);
        m_pDialog = std::make_unique<mrvMainDialog>(*printer);
        m_pDialog->Create(GetModuleHandleW(nullptr), IDD_MAIN_DIALOG, -1, 0);
        m_pDialog->Show();
        SetActiveWindow(Dlg());
        HWND hTab = GetDlgItem(Dlg(), IDC_TAB);
        SendMessageW(hTab, TCM_SETCURSEL, 1, 0);
        NMHDR header = {hTab, IDC_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(Dlg(), WM_NOTIFY, IDC_TAB, reinterpret_cast<LPARAM>(&header));
    }
    void TearDown() override
    {
        if (m_pDialog)
            m_pDialog->Destroy();
        m_pDialog.reset();
        robust::Robust::TearDown();
    }
    HWND Dlg() const { return m_pDialog->GetHwnd(); }
    HWND Control(int id) const
    {
        for (HWND child = GetWindow(Dlg(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgItem(child, id))
                return GetDlgItem(child, id);
        return GetDlgItem(Dlg(), id);
    }
    // The key as the program's own loop gets it from the keyboard.
    void PressTab(bool shift)
    {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
        PostMessageW(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000001);
        PostQuitMessage(0);
        m_pDialog->MessagePump(nullptr);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }

    std::unique_ptr<mrvMainDialog> m_pDialog;
};

TEST_F(WithDialog, TabAndShiftTabMoveBetweenTheControls)
{
    SetFocus(GetDlgItem(Dlg(), IDC_TAB));
    PressTab(false);
    EXPECT_EQ(GetFocus(), Control(IDC_SAVE_LOG));
    PressTab(true);
    EXPECT_EQ(GetFocus(), GetDlgItem(Dlg(), IDC_TAB));
}

TEST_F(WithDialog, TheSaveDialogIsOwnedByItsWindow)
{
    qsmtest::TempFolder elsewhere;
    HWND owner = nullptr;
    {
        // The worker has no monitor to get the log from and says so.
        qsmtest::DialogDriver error(L"Error", IDOK);
        qsmtest::DialogDriver save(L"Save As", [&](HWND hSave) -> UINT {
            owner = GetWindow(hSave, GW_OWNER);
            const std::wstring path = elsewhere.FileName(L"printer.log");
            SendMessageW(GetDlgItem(hSave, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            return IDOK;
        });
        SendMessageW(Control(IDC_SAVE_LOG), BM_CLICK, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !m_pDialog->IsSavingLog(); }, 15000));
    }
    EXPECT_EQ(owner, Dlg());
}

TEST_F(WithDialog, OnlyTextsThisProcessPostedAreAdoptedAndNoneOutlivesTheWindow)
{
    const size_t outstanding = CountPostedTexts();
    // Another program's number: the window must neither free nor show it.
    static char foreign[] = "not ours";
    PostMessageW(Dlg(), mrvWM_MAT_CODE, 0, reinterpret_cast<LPARAM>(foreign));
    PumpUntil([] { return GetQueueStatus(QS_POSTMESSAGE) == 0; }, 2000);
    EXPECT_STREQ(foreign, "not ours");
    EXPECT_EQ(AdoptPostedText(reinterpret_cast<LPARAM>(foreign)), nullptr);
    // Ours, left unhandled when the window goes.
    ASSERT_TRUE(PostText(Dlg(), mrvWM_MAT_CODE, "MC-1"));
    ASSERT_TRUE(PostText(Dlg(), mrvWM_ERROR, "0000012A0041"));
    EXPECT_EQ(CountPostedTexts(), outstanding + 2);
    m_pDialog->Destroy();
    m_pDialog.reset();
    EXPECT_EQ(CountPostedTexts(), outstanding);
}

// A thread body given as a function; the table below says what it does.
class Body : public mrvAPI::mrvThread {
public:
    explicit Body(std::function<void(Body&)> body) : mrvThread("Body"), m_Body(std::move(body)) {}
    ~Body() override { Stop(1000); }

protected:
    DWORD ThreadProc() override
    {
        m_Body(*this);
        return 0;
    }

private:
    std::function<void(Body&)> m_Body;
};

TEST_F(Items, ABodyThatThrowsOrSendsToTheStoppingThreadStillEndsNormally)
{
    HWND hWindow = CreateWindowW(L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const struct {
        const char* name;
        std::function<void(Body&)> body;
        size_t exceptionLines;
    } cases[] = {
        {"bad_alloc", [](Body&) { throw std::bad_alloc(); }, 1},
        {"a text", [](Body&) { throw "INVALID_SOCKET"; }, 1},
        // A window of the thread that waits in Stop: only a wait that handles sent
        // messages lets this body finish.
        {"send on stop", [hWindow](Body& self) {
             self.WaitForStop(INFINITE);
             SendMessageW(hWindow, WM_NULL, 0, 0);
         }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_Debug.Clear();
        Body thread(c.body);
        thread.Start(THREAD_PRIORITY_NORMAL);
        thread.Stop(1000);
        EXPECT_EQ(m_Debug.CountContaining("> exception"), c.exceptionLines);
        EXPECT_EQ(m_Debug.CountContaining("termination recognized, stop normal."), 1u);
    }
    DestroyWindow(hWindow);
}

} // namespace
