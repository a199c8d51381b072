#include "language_fixture.h"
#include "utils.h"
#include <thread>
#include <vector>

using namespace mrvAPI;

namespace {

// What the closing thread saw of the message box before it pressed OK.
struct BoxSeen {
    bool found = false;
    bool foundByCaption = false;
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
    bool topmost = false;
    HWND owner = nullptr;
    std::vector<int> buttons;
};

HWND FindDialogOfThread(DWORD threadId)
{
    struct Search {
        HWND found;
    } search{nullptr};
    EnumThreadWindows(
        threadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t className[32] = {};
            GetClassNameW(hWnd, className, 32);
            if (std::wstring(className) != L"#32770")
                return TRUE;
            reinterpret_cast<Search*>(lParam)->found = hWnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The box's icon sits in a static control: id 20 on Windows, 1088 under Wine; the
// style finds it on both.
HICON BoxIcon(HWND box)
{
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 20, STM_GETICON, 0, 0));
    if (icon)
        return icon;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    return nullptr;
}

// Calls ShowError on this thread while another thread finds the box by its
// caption, reads it and presses OK. A box with an unexpected caption is still
// found (as the dialog of this thread) and closed, so a failure cannot hang.
BoxSeen ShowAndClose(const std::wstring& code, const std::wstring& text, HWND owner,
                     const std::wstring& expectedCaption)
{
    BoxSeen seen;
    const DWORD showingThread = GetCurrentThreadId();
    std::thread closer([&] {
        const ULONGLONG start = GetTickCount64();
        HWND box = nullptr;
        while (!box && GetTickCount64() - start < 20000) {
            box = FindWindowW(L"#32770", expectedCaption.c_str());
            if (box && GetWindowThreadProcessId(box, nullptr) != showingThread)
                box = nullptr;
            seen.foundByCaption = box != nullptr;
            if (!box && GetTickCount64() - start > 3000)
                box = FindDialogOfThread(showingThread);
            if (!box)
                Sleep(20);
        }
        if (!box)
            return;
        // The box fills its controls before it shows itself.
        while (!IsWindowVisible(box) && GetTickCount64() - start < 20000)
            Sleep(5);
        seen.found = true;
        wchar_t buffer[1024] = {};
        GetWindowTextW(box, buffer, 1024);
        seen.caption = buffer;
        buffer[0] = 0;
        GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
        seen.text = buffer;
        seen.icon = BoxIcon(box);
        seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        seen.owner = GetWindow(box, GW_OWNER);
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t className[32] = {};
            GetClassNameW(child, className, 32);
            if (std::wstring(className) == L"Button" && IsWindowVisible(child))
                seen.buttons.push_back(GetDlgCtrlID(child));
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    mrvLanguages::ShowError(code, text, owner);
    closer.join();
    return seen;
}

const char* const kTable = "<errorCode>"
                           "<e number=\"0000012A\" captionId=\"30\" textId=\"31\" icon=\"1\"/>"
                           "<e number=\"00000201\" captionId=\"40\" textId=\"4294967295\" icon=\"0\"/>"
                           "<e number=\"00000130\" captionId=\"40\" textId=\"41\" icon=\"2\"/>"
                           "<e number=\"0000abcd\" captionId=\"30\" textId=\"31\" icon=\"1\"/>"
                           "<e number=\"00000999\" captionId=\"98\" textId=\"99\" icon=\"1\"/>"
                           "</errorCode>";
const char* const kDefault = "<errorCode><e number=\"DEFAULT\" captionId=\"50\" textId=\"51\" icon=\"1\"/></errorCode>";
const char* const kTexts = "<language name=\"zz\">"
                           "<t id=\"30\">Ink empty</t><t id=\"31\">Replace the cartridge.\\nThen press OK.</t>"
                           "<t id=\"40\">Lamp failure</t><t id=\"41\">Lamp text</t>"
                           "<t id=\"50\">Fallback</t><t id=\"51\">Default text</t>"
                           "</language>";

enum class Icon { Warning, Error };

struct BoxCase {
    const wchar_t* code;
    bool withDefault;
    std::wstring caption;
    std::wstring text;
    Icon icon;
};

} // namespace

class ShowError : public LanguageFile {
protected:
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QsmShowErrorOwner";
        RegisterClassW(&wc);
        m_hOwner = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                   nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hOwner, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_hOwner);
        LanguageFile::TearDown();
    }

    void Check(const BoxCase& c)
    {
        const std::string what = mrvUtils::W2M(c.code) + (c.withDefault ? " with DEFAULT" : " without DEFAULT");
        Load(LanguageXml(std::string(kTexts) + kTable + (c.withDefault ? kDefault : "")));
        const BoxSeen seen = ShowAndClose(c.code, L"Printer's own text", m_hOwner, c.caption);
        ASSERT_TRUE(seen.found) << what;
        EXPECT_TRUE(seen.foundByCaption) << what;
        EXPECT_EQ(seen.caption, c.caption) << what;
        EXPECT_EQ(seen.text, c.text) << what;
        const HICON expected = LoadIconW(nullptr, c.icon == Icon::Warning ? IDI_WARNING : IDI_ERROR);
        const HICON other = LoadIconW(nullptr, c.icon == Icon::Warning ? IDI_ERROR : IDI_WARNING);
        EXPECT_EQ(seen.icon, expected) << what;
        EXPECT_NE(seen.icon, other) << what;
        EXPECT_TRUE(seen.topmost) << what << ": not system modal";
        EXPECT_EQ(seen.owner, m_hOwner) << what;
        EXPECT_EQ(seen.buttons, std::vector<int>{IDOK}) << what;
        mrvLanguages::Clear();
    }

    HWND m_hOwner = nullptr;
};

TEST_F(ShowError, CodeWithItsOwnEntry)
{
    const BoxCase cases[] = {
        {L"0000012A", true, L"Ink empty 0x0000012A", L"Replace the cartridge.\nThen press OK.", Icon::Warning},
        {L"00000201", true, L"Lamp failure 0x00000201", L"Printer's own text", Icon::Error}, // textId 4294967295
        {L"00000130", true, L"Lamp failure 0x00000130", L"Lamp text", Icon::Error},          // icon 2
        {L"00000999", true, L" 0x00000999", L"", Icon::Warning}, // numbers the language lacks
    };
    for (const BoxCase& c : cases)
        Check(c);
}

TEST_F(ShowError, CodeWithoutEntry)
{
    const BoxCase cases[] = {
        {L"0000FFFF", true, L"Fallback 0x0000FFFF", L"Default text", Icon::Warning},
        {L"0000FFFF", false, L"ERROR 0x0000FFFF", L"Printer's own text", Icon::Error},
        // The file has 0000abcd: letter case counts.
        {L"0000ABCD", true, L"Fallback 0x0000ABCD", L"Default text", Icon::Warning},
        {L"0000ABCD", false, L"ERROR 0x0000ABCD", L"Printer's own text", Icon::Error},
    };
    for (const BoxCase& c : cases)
        Check(c);
}
