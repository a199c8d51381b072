#include "language.h"
#include "config.h"
#include "exception.h"
#include "settings.h"
#include "textrules.h"
#include "utils.h"
#include <cassert>
#include <memory>

namespace mrvAPI {

namespace {

const char* const kFile = "baseapi\\src\\language";
const wchar_t* const kLanguageFile = L"quillor.xml";
const wchar_t* const kOptionNames[] = {L"serviceql", L"settingsql", L"conuvql", L"confluidql", L"smql"};
const UINT kKeepGivenText = 0xFFFFFFFF;

using LanguageList = std::vector<std::unique_ptr<mrvLanguage>>;
using ErrorCodeTable = std::map<std::wstring, std::unique_ptr<mrvErrorCode>>;
using OptionTable = std::map<std::wstring, std::wstring>;

std::wstring VersionText(const std::wstring& number)
{
    return std::wstring(kLanguageFile) + L" (version " + number + L")";
}

OptionTable UnparsedOptions()
{
    OptionTable options;
    for (const wchar_t* name : kOptionNames)
        options[name] = L"unparsed";
    return options;
}

LanguageList s_Languages;
mrvLanguage* s_pCurrentLanguage = nullptr;
ErrorCodeTable s_ErrorCodes;
std::wstring s_VersionText = L"unparsed";
OptionTable s_Options = UnparsedOptions();

UINT ReadNumber(const mrvConfigNode& node, const wchar_t* attributeName)
{
    return mrvUtils::ReadUnsigned(mrvUtils::W2M(node.GetAttribute(attributeName)));
}

// What one file holds, read completely before the catalogue takes it over.
struct Catalogue {
    LanguageList languages;
    ErrorCodeTable errorCodes;
    std::wstring versionText = VersionText(L"?");
    OptionTable options = UnparsedOptions();

    void ReadLanguage(const mrvConfigNode& node)
    {
        languages.push_back(std::make_unique<mrvLanguage>(node.GetAttribute(L"name")));
        auto& texts = languages.back()->Texts();
        for (const mrvConfigNode& child : node.children)
            texts[ReadNumber(child, L"id")] = child.text;
    }

    void ReadOptions(const mrvConfigNode& node)
    {
        for (const wchar_t* name : kOptionNames) {
            const std::wstring value = node.GetAttribute(name);
            if (!value.empty())
                options[name] = value;
        }
    }

    void ReadErrorCodes(const mrvConfigNode& node)
    {
        for (const mrvConfigNode& child : node.children) {
            auto record = std::make_unique<mrvErrorCode>();
            record->captionId = ReadNumber(child, L"captionId");
            record->textId = ReadNumber(child, L"textId");
            record->icon = ReadNumber(child, L"icon");
            errorCodes[child.GetAttribute(L"number")] = std::move(record);
        }
    }

    void Read(const mrvConfigNode& root)
    {
        for (const mrvConfigNode& node : root.children) {
            if (node.name == L"language")
                ReadLanguage(node);
            else if (node.name == L"version")
                versionText = VersionText(node.GetAttribute(L"number"));
            else if (node.name == L"option")
                ReadOptions(node);
            else if (node.name == L"errorCode")
                ReadErrorCodes(node);
        }
    }

    // The language named like the user's locale, else the first one.
    mrvLanguage* ChooseLanguage() const
    {
        wchar_t code[256] = {};
        // A failed query leaves no code: it must not match a language without a name.
        if (GetLocaleInfoW(GetUserDefaultLCID(), LOCALE_SISO639LANGNAME, code, 256) > 0 && code[0]) {
            for (const auto& language : languages)
                if (language->GetName() == code)
                    return language.get();
        }
        return languages.front().get();
    }
};

} // namespace

void mrvLanguages::Load()
{
    // Whatever happens below, nothing of an earlier load stays.
    Clear();
    const std::wstring fileName = mrvSettings::ReadPath() + L"\\" + kLanguageFile;
    Catalogue catalogue;
    {
        mrvConfig config(fileName);
        catalogue.Read(config.GetRoot());
    }
    // Without a language no window could show a word; refuse to start instead.
    if (catalogue.languages.empty())
        throw mrvException(mrvE_FAIL, "Language file has no language.", "mrvAPI::mrvLanguages::Load", kFile,
                           __LINE__);
    mrvLanguage* current = catalogue.ChooseLanguage();
    s_Languages = std::move(catalogue.languages);
    s_ErrorCodes = std::move(catalogue.errorCodes);
    s_VersionText = std::move(catalogue.versionText);
    s_Options = std::move(catalogue.options);
    s_pCurrentLanguage = current;
}

void mrvLanguages::Clear()
{
    s_pCurrentLanguage = nullptr;
    s_Languages.clear();
    s_ErrorCodes.clear();
    s_VersionText = L"unparsed";
    s_Options = UnparsedOptions();
}

std::wstring mrvLanguages::GetText(UINT id)
{
    assert(s_pCurrentLanguage);
    if (!s_pCurrentLanguage)
        return std::wstring();
    const auto& texts = s_pCurrentLanguage->Texts();
    const auto it = texts.find(id);
    if (it == texts.end())
        return std::wstring();
    return ReplaceLineBreakEscapes(it->second);
}

std::wstring mrvLanguages::GetVersionText()
{
    return s_VersionText;
}

void mrvLanguages::ShowError(std::wstring code, std::wstring text, HWND owner)
{
    const mrvErrorMessage message = ComposeError(code, text);
    const UINT style = MB_SYSTEMMODAL | (message.warning ? MB_ICONEXCLAMATION : MB_ICONHAND);
    MessageBoxW(owner, message.text.c_str(), message.caption.c_str(), style);
}

mrvErrorMessage mrvLanguages::ComposeError(const std::wstring& code, const std::wstring& text)
{
    const mrvErrorCode* entry = FindErrorCode(code);
    if (!entry)
        entry = FindErrorCode(L"DEFAULT");

    mrvErrorMessage message;
    message.caption = L"ERROR 0x" + code;
    message.text = text;
    if (entry) {
        message.caption = GetText(entry->captionId) + L" 0x" + code;
        if (entry->textId != kKeepGivenText)
            message.text = GetText(entry->textId);
        message.warning = entry->icon == 1;
    }
    return message;
}

bool mrvLanguages::IsLoaded()
{
    return s_pCurrentLanguage != nullptr;
}

std::wstring mrvLanguages::GetCurrentLanguageName()
{
    return s_pCurrentLanguage ? s_pCurrentLanguage->GetName() : std::wstring();
}

const mrvErrorCode* mrvLanguages::FindErrorCode(const std::wstring& code)
{
    const auto it = s_ErrorCodes.find(code);
    return it == s_ErrorCodes.end() ? nullptr : it->second.get();
}

std::wstring mrvLanguages::GetOption(const std::wstring& name)
{
    const auto it = s_Options.find(name);
    return it == s_Options.end() ? std::wstring() : it->second;
}

} // namespace mrvAPI
