#pragma once
// Shared by the dialog, page and main-dialog tests: a language file with
// recognisable texts, a dialog that records what reaches it, control readers.
#include "dialog.h"
#include "language.h"
#include "registry_fixture.h"
#include "resource.h"
#include "temp_folder.h"
#include "window_probe.h"
#include "win.h"
#include <commctrl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace uitest {

inline HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

// The program registers the common control classes at start; so do the tests.
class CommonControls : public ::testing::Environment {
public:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&init));
    }
};

// A catalogue whose text n reads "<prefix><n>", language file version 2.5. Load
// again with another prefix to switch; "text" comes back when the object goes.
// It stays loaded between tests: each load waits for this program's turn at the
// registry, which other test programs may hold for a whole test.
class TestLanguage {
public:
    TestLanguage() { Load("text"); }
    ~TestLanguage()
    {
        try {
            Load("text");
        } catch (...) {
            ADD_FAILURE() << "the test catalogue could not be loaded again";
        }
    }
    TestLanguage(const TestLanguage&) = delete;
    TestLanguage& operator=(const TestLanguage&) = delete;

    static void Load(const std::string& prefix)
    {
        static std::string s_Loaded;
        static qsmtest::TempFolder s_Folder;
        if (s_Loaded == prefix && mrvAPI::mrvLanguages::IsLoaded())
            return;
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillor><version number=\"2.5\"/><language name=\"en\">";
        for (int id = 0; id <= 60; ++id)
            xml += "<text id=\"" + std::to_string(id) + "\">" + prefix + std::to_string(id) + "</text>";
        s_Folder.Write(L"quillor.xml", xml + "</language></quillor>");
        s_Loaded.clear();
        qsmtest::RegistryFixture registry; // "Path" is read only while loading
        registry.SetPath(s_Folder.Path());
        mrvAPI::mrvLanguages::Load();
        s_Loaded = prefix;
    }
};

// A dialog that records the message numbers and windows its DlgProc gets and
// counts the framework's calls. handled: what DlgProc answers.
class RecordingDialog : public mrvAPI::mrvDialog {
public:
    explicit RecordingDialog(const std::string& name, mrvAPI::mrvDialog* pParent = nullptr, INT_PTR handled = 0)
        : mrvDialog(name, pParent), m_Handled(handled)
    {
    }
    ~RecordingDialog() override { Destroy(); }

    INT_PTR DlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM) override
    {
        m_Received.push_back({hWnd, uMsg, wParam});
        if (uMsg == WM_USER + 7)
            throw mrvAPI::mrvException(mrvAPI::mrvE_FAIL, "thrown", "f", "file", 1);
        return m_Handled;
    }
    void OnCreate() override { ++m_Creates; }
    void OnDestroy() override { ++m_Destroys; }

    size_t Count(UINT message, HWND hWnd = nullptr) const
    {
        size_t n = 0;
        for (const Received& r : m_Received)
            n += r.message == message && (!hWnd || r.hWnd == hWnd);
        return n;
    }

    struct Received {
        HWND hWnd;
        UINT message;
        WPARAM wParam;
    };
    std::vector<Received> m_Received;
    INT_PTR m_Handled;
    int m_Creates = 0;
    int m_Destroys = 0;
};

inline std::wstring ControlText(HWND hDlg, int id)
{
    return qsmtest::WindowText(GetDlgItem(hDlg, id));
}

inline std::wstring TabText(HWND hTab, int index)
{
    wchar_t text[128] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(hTab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return text;
}

inline std::vector<std::wstring> ListLines(HWND hList)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < qsmtest::ListBoxCount(hList); ++i)
        lines.push_back(qsmtest::ListBoxLine(hList, i));
    return lines;
}

} // namespace uitest
