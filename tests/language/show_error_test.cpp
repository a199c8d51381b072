#include "language_fixture.h"
#include "utils.h"
#include "window_probe.h"
#include <thread>
#include <vector>

using namespace mrvAPI;

namespace {

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

} // namespace

class ShowError : public LanguageFile {
protected:
    void SetUp() override
    {
        m_hOwner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_hOwner, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_hOwner);
        LanguageFile::TearDown();
    }

    // Shows the box on this thread while another finds it by its caption, reads
    // it and presses OK; a box with another caption is closed as well after a
    // while, so that a failure cannot hang.
    qsmtest::MessageBoxView ShowAndClose(const std::wstring& code, const std::wstring& caption)
    {
        qsmtest::MessageBoxView seen;
        const DWORD thread = GetCurrentThreadId();
        std::thread closer([&] {
            if (HWND box = qsmtest::WaitForMessageBox(caption, 5000)) {
                seen = qsmtest::ReadMessageBox(box);
                qsmtest::CloseMessageBox(box);
                return;
            }
            EnumThreadWindows(
                thread, [](HWND h, LPARAM) { return PostMessageW(h, WM_COMMAND, IDOK, 0); }, 0);
        });
        mrvLanguages::ShowError(code, L"Printer's own text", m_hOwner);
        closer.join();
        return seen;
    }

    HWND m_hOwner = nullptr;
};

TEST_F(ShowError, CaptionTextAndIconFromTheTableOrItsFallbacks)
{
    const struct {
        const wchar_t* code;
        bool withDefault;
        const wchar_t* caption;
        const wchar_t* text;
        bool warning; // else the error icon
    } cases[] = {
        {L"0000012A", true, L"Ink empty 0x0000012A", L"Replace the cartridge.\nThen press OK.", true},
        {L"00000201", true, L"Lamp failure 0x00000201", L"Printer's own text", false}, // textId 4294967295
        {L"00000130", true, L"Lamp failure 0x00000130", L"Lamp text", false},          // icon 2
        {L"00000999", true, L" 0x00000999", L"", true}, // numbers the language lacks
        {L"0000FFFF", true, L"Fallback 0x0000FFFF", L"Default text", true},
        {L"0000FFFF", false, L"ERROR 0x0000FFFF", L"Printer's own text", false},
        // The file has 0000abcd: letter case counts.
        {L"0000ABCD", true, L"Fallback 0x0000ABCD", L"Default text", true},
    };
    for (const auto& c : cases) {
        const std::string what = mrvUtils::W2M(c.code) + (c.withDefault ? " with DEFAULT" : " without DEFAULT");
        Load(LanguageXml(std::string(kTexts) + kTable + (c.withDefault ? kDefault : "")));
        const qsmtest::MessageBoxView seen = ShowAndClose(c.code, c.caption);
        EXPECT_EQ(seen.caption, c.caption) << what;
        EXPECT_EQ(seen.text, c.text) << what;
        EXPECT_EQ(seen.warningIcon, c.warning) << what;
        EXPECT_EQ(seen.errorIcon, !c.warning) << what;
        EXPECT_TRUE(seen.topmost) << what << ": not system modal";
        EXPECT_EQ(seen.owner, m_hOwner) << what;
        EXPECT_EQ(seen.buttons, std::vector<int>{IDOK}) << what;
        mrvLanguages::Clear();
    }
}
