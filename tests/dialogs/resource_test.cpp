#include "resource.h"
#include "ui_support.h"
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

using uitest::Instance;

namespace {

// One control of a dialog template as the resource compiler wrote it (DLGTEMPLATEEX).
struct Control {
    DWORD id;
    std::wstring className;
    std::wstring text;
    short x, y, cx, cy;
    DWORD style; // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    bool operator==(const Control& o) const
    {
        // windres writes class names in capitals, rc.exe as ordinals.
        return id == o.id && _wcsicmp(className.c_str(), o.className.c_str()) == 0 && text == o.text && x == o.x && y == o.y && cx == o.cx &&
               cy == o.cy && style == o.style && exStyle == o.exStyle;
    }
};

void PrintTo(const Control& c, std::ostream* os)
{
    *os << c.id << " " << uitest::Narrow(c.className) << " \"" << uitest::Narrow(c.text) << "\" " << c.x << "," << c.y
        << "," << c.cx << "," << c.cy << " style 0x" << std::hex << c.style << " ex 0x" << c.exStyle << std::dec;
}

struct Template {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring caption, font;
    WORD pointSize = 0;
    std::vector<Control> controls;
};

class Reader {
public:
    explicit Reader(const BYTE* p) : m_p(p), m_Start(p) {}
    template <class T>
    T Get()
    {
        T value;
        std::memcpy(&value, m_p, sizeof(T));
        m_p += sizeof(T);
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (wchar_t c = Get<wchar_t>(); c; c = Get<wchar_t>())
            text += c;
        return text;
    }
    // A name, or 0xFFFF and a number; predefined control classes by name.
    std::wstring NameOrOrdinal()
    {
        if (Get<WORD>() != 0xFFFF) {
            m_p -= sizeof(WORD);
            return String();
        }
        const WORD ordinal = Get<WORD>();
        static const wchar_t* const classes[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
        return ordinal >= 0x80 && ordinal <= 0x85 ? classes[ordinal - 0x80] : L"#" + std::to_wstring(ordinal);
    }
    void AlignDword() { m_p = m_Start + ((m_p - m_Start + 3) & ~3); }
    void Skip(size_t bytes) { m_p += bytes; }

private:
    const BYTE* m_p;
    const BYTE* m_Start;
};

Template LoadTemplate(UINT id)
{
    Template t;
    HRSRC hRes = FindResourceW(Instance(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    EXPECT_NE(hRes, nullptr) << id;
    if (!hRes)
        return t;
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(Instance(), hRes))));
    EXPECT_EQ(r.Get<DWORD>(), 0xFFFF0001u); // extended template, version 1
    r.Get<DWORD>();                         // help id
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    r.Skip(2 * sizeof(short)); // x, y
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    r.NameOrOrdinal(); // menu
    r.NameOrOrdinal(); // class
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Get<WORD>();
        r.Skip(sizeof(WORD) + 2); // weight, italic, character set
        t.font = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        r.Get<DWORD>(); // help id
        Control c;
        c.exStyle = r.Get<DWORD>();
        c.style = r.Get<DWORD>() & ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE);
        c.x = r.Get<short>();
        c.y = r.Get<short>();
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = r.Get<DWORD>();
        c.className = r.NameOrOrdinal();
        c.text = r.NameOrOrdinal();
        r.Skip(r.Get<WORD>()); // creation data
        t.controls.push_back(c);
    }
    return t;
}

} // namespace

// The compiled templates are the only check of the layout: the windows' tests
// find controls by id and replace their texts, wherever the controls sit.
TEST(Resources, DialogTemplatesAsTabulated)
{
    const DWORD list = LBS_NOSEL | LBS_NOTIFY | WS_VSCROLL | WS_BORDER;
    const struct {
        UINT id;
        DWORD style;
        DWORD exStyle;
        short cx, cy;
        const wchar_t* caption;
        std::vector<Control> controls;
    } dialogs[] = {
        {IDD_MAIN_DIALOG, DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 228, 340,
         L"_SM_DIALOG_TITLE",
         {{IDC_TAB, L"SysTabControl32", L"", 4, 8, 212, 328, WS_CLIPSIBLINGS | WS_TABSTOP, 0}}},
        {IDD_MONITOR, DS_SETFONT | DS_CONTROL | WS_CHILD, 0, 220, 328, L"",
         {
             {IDC_HEADER, L"Static", L"#112", 4, 4, 208, 100, SS_BITMAP | SS_SUNKEN, WS_EX_CLIENTEDGE},
             {IDC_STATUS_FRAME, L"Button", L"_SM_STATIC_STATUS", 4, 108, 208, 108, BS_GROUPBOX, 0},
             {IDC_STATUS_LIST, L"ListBox", L"", 12, 120, 192, 32, list, 0},
             {IDC_INK_LEVEL, L"msctls_progress32", L"", 12, 160, 192, 12, WS_BORDER, 0},
             {IDC_INK_CAPTION, L"Static", L"_SM_STATIC_INK_LEVEL", 12, 174, 120, 8, SS_LEFT, 0},
             {IDC_UV_LAMP, L"msctls_progress32", L"", 12, 186, 192, 12, WS_BORDER, 0},
             {IDC_UV_CAPTION, L"Static", L"_SM_STATIC_UV_LAMP", 12, 200, 120, 8, SS_LEFT, 0},
             {IDC_MAT_CODE_FRAME, L"Button", L"_SM_STATIC_MAT_CODE", 4, 220, 208, 32, BS_GROUPBOX, 0},
             {IDC_MAT_CODE, L"Edit", L"", 12, 232, 192, 12, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 0},
             {IDC_PRINTJOB_FRAME, L"Button", L"_SM_STATIC_PRINTJOB", 4, 256, 208, 40, BS_GROUPBOX, 0},
             {IDC_JOB_NAME, L"Static", L"_SM_STATIC_NAME", 12, 280, 192, 8, SS_LEFT, 0},
             {IDC_JOB_COUNT, L"Static", L"_SM_STATIC_COUNT", 12, 268, 192, 8, SS_LEFT, 0},
         }},
        {IDD_INFO, DS_SETFONT | DS_CONTROL | WS_CHILD, 0, 220, 328, L"",
         {
             {IDC_FILE_LIST, L"ListBox", L"", 4, 4, 212, 296, list, 0},
             {IDC_SAVE_LOG, L"Button", L"_SM_SAVE_LOG", 4, 304, 212, 12, BS_PUSHBUTTON | WS_TABSTOP, 0},
         }},
        {IDD_LOG_BOX, DS_SETFONT | DS_MODALFRAME | WS_CHILD, WS_EX_CLIENTEDGE, 187, 86, L"",
         {{IDC_LOG_TEXT, L"Static", L"", 12, 36, 168, 8, SS_LEFT, 0}}},
    };
    for (const auto& d : dialogs) {
        const Template t = LoadTemplate(d.id);
        EXPECT_EQ(t.style, d.style) << d.id;
        EXPECT_EQ(t.exStyle, d.exStyle) << d.id;
        EXPECT_EQ(t.cx, d.cx) << d.id;
        EXPECT_EQ(t.cy, d.cy) << d.id;
        EXPECT_EQ(t.caption, d.caption) << d.id;
        EXPECT_EQ(t.pointSize, 8) << d.id;
        EXPECT_EQ(t.font, L"MS Shell Dlg") << d.id;
        EXPECT_EQ(t.controls, d.controls) << d.id;
    }
}

TEST(Resources, IconSizesAndManifest)
{
    for (int size : {16, 32}) {
        HICON hIcon = static_cast<HICON>(
            LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_STATUSMONITOR), IMAGE_ICON, size, size, 0));
        ASSERT_NE(hIcon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(hIcon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(hIcon);
    }

    // The header bitmap is checked by the Monitor page, the accelerator table by the pump test.
    HRSRC hManifest = FindResourceW(Instance(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(hManifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(Instance(), hManifest)));
    const std::string manifest(text, SizeofResource(Instance(), hManifest));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
}
