#pragma once
#include "win.h"
#include <map>
#include <string>
#include <vector>

namespace mrvAPI {

// One language element of the language file.
class mrvLanguage {
public:
    explicit mrvLanguage(const std::wstring& name) : m_Name(name) {}
    virtual ~mrvLanguage() = default;
    const std::wstring& GetName() const { return m_Name; }
    std::map<UINT, std::wstring>& Texts() { return m_Texts; }
    const std::map<UINT, std::wstring>& Texts() const { return m_Texts; }

private:
    std::wstring m_Name;
    std::map<UINT, std::wstring> m_Texts;
};

// One entry of the error-code table.
struct mrvErrorCode {
    UINT captionId = 0;
    UINT textId = 0; // 0xFFFFFFFF: keep the text that came with the error
    UINT icon = 0;   // 1: warning icon, anything else: error icon
};

// What the error box shows for one printer error.
struct mrvErrorMessage {
    std::wstring caption;
    std::wstring text;
    bool warning = false; // the warning icon, else the error icon
};

// The process-wide language catalogue, loaded once at start-up.
class mrvLanguages {
public:
    static void Load(); // throws mrvException (registry "Path", file, no language)
    static void Clear();
    static std::wstring GetText(UINT id);
    static std::wstring GetVersionText();
    static void ShowError(std::wstring code, std::wstring text, HWND owner);
    // The box's caption, text and icon for a code and the text the printer sent with it.
    static mrvErrorMessage ComposeError(const std::wstring& code, const std::wstring& text);

    // For the Info page and for tests.
    static bool IsLoaded();
    static std::wstring GetCurrentLanguageName();
    static std::wstring GetOption(const std::wstring& name); // "serviceql", ... or L"" when unknown
    // The entry of exactly this code (no "DEFAULT" fallback), or null.
    static const mrvErrorCode* FindErrorCode(const std::wstring& code);
};

} // namespace mrvAPI
