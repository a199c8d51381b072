#include "resource.h"
#include "ui_support.h"
#include <cstring>
#include <string>
#include <vector>

using uitest::Instance;

namespace {

// A dialog template as the resource compiler wrote it (DLGTEMPLATEEX).
struct TemplateItem {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::wstring className;
    std::wstring text;
};

struct Template {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<TemplateItem> items;
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
    // A name or a number: 0xFFFF and a number; predefined control classes by name.
    std::wstring NameOrOrdinal()
    {
        WORD first;
        std::memcpy(&first, m_p, sizeof(first));
        if (first != 0xFFFF)
            return String();
        m_p += sizeof(WORD);
        const WORD ordinal = Get<WORD>();
        static const wchar_t* const classes[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar",
                                                 L"ComboBox"};
        if (ordinal >= 0x80 && ordinal <= 0x85)
            return classes[ordinal - 0x80];
        return L"#" + std::to_wstring(ordinal);
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
    EXPECT_EQ(r.Get<WORD>(), 1);      // dlgVer
    EXPECT_EQ(r.Get<WORD>(), 0xFFFF); // extended template
    r.Get<DWORD>();                   // help id
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    r.NameOrOrdinal(); // menu
    r.NameOrOrdinal(); // class
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Get<WORD>();
        r.Get<WORD>();  // weight
        r.Get<BYTE>();  // italic
        r.Get<BYTE>();  // character set
        t.font = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        TemplateItem item;
        r.Get<DWORD>(); // help id
        item.exStyle = r.Get<DWORD>();
        item.style = r.Get<DWORD>();
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = r.Get<DWORD>();
        item.className = r.NameOrOrdinal();
        item.text = r.NameOrOrdinal();
        r.Skip(r.Get<WORD>()); // creation data
        t.items.push_back(item);
    }
    return t;
}

struct ExpectedItem {
    DWORD id;
    const wchar_t* className;
    const wchar_t* text;
    short x, y, cx, cy;
    DWORD style; // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
};

void ExpectItems(UINT templateId, const std::vector<ExpectedItem>& expected)
{
    const Template t = LoadTemplate(templateId);
    ASSERT_EQ(t.items.size(), expected.size()) << templateId;
    for (size_t i = 0; i < expected.size(); ++i) {
        const TemplateItem& item = t.items[i];
        const ExpectedItem& want = expected[i];
        SCOPED_TRACE(testing::Message() << "template " << templateId << ", control " << want.id);
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(_wcsicmp(item.className.c_str(), want.className), 0) << uitest::Narrow(item.className);
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.style, WS_CHILD | WS_VISIBLE | want.style);
        EXPECT_EQ(item.exStyle, want.exStyle);
    }
}

} // namespace

TEST(Resources, DialogTemplatesAsTabulated)
{
    const struct {
        UINT id;
        DWORD style;
        DWORD exStyle;
        short cx, cy;
        const wchar_t* caption;
    } dialogs[] = {
        {IDD_MAIN_DIALOG, DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 228, 340,
         L"_SM_DIALOG_TITLE"},
        {IDD_MONITOR, DS_SETFONT | DS_CONTROL | WS_CHILD, 0, 220, 328, L""},
        {IDD_INFO, DS_SETFONT | DS_CONTROL | WS_CHILD, 0, 220, 328, L""},
        {IDD_LOG_BOX, DS_SETFONT | DS_MODALFRAME | WS_CHILD, WS_EX_CLIENTEDGE, 187, 86, L""},
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
    }

    ExpectItems(IDD_MAIN_DIALOG, {{IDC_TAB, L"SysTabControl32", L"", 4, 8, 212, 328, WS_CLIPSIBLINGS | WS_TABSTOP, 0}});
    ExpectItems(IDD_MONITOR,
                {
                    {IDC_HEADER, L"Static", L"#112", 4, 4, 208, 100, SS_BITMAP | SS_SUNKEN, WS_EX_CLIENTEDGE},
                    {IDC_STATUS_FRAME, L"Button", L"_SM_STATIC_STATUS", 4, 108, 208, 108, BS_GROUPBOX, 0},
                    {IDC_STATUS_LIST, L"ListBox", L"", 12, 120, 192, 32,
                     LBS_NOSEL | LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 0},
                    {IDC_INK_LEVEL, L"msctls_progress32", L"", 12, 160, 192, 12, WS_BORDER, 0},
                    {IDC_INK_CAPTION, L"Static", L"_SM_STATIC_INK_LEVEL", 12, 174, 120, 8, SS_LEFT, 0},
                    {IDC_UV_LAMP, L"msctls_progress32", L"", 12, 186, 192, 12, WS_BORDER, 0},
                    {IDC_UV_CAPTION, L"Static", L"_SM_STATIC_UV_LAMP", 12, 200, 120, 8, SS_LEFT, 0},
                    {IDC_MAT_CODE_FRAME, L"Button", L"_SM_STATIC_MAT_CODE", 4, 220, 208, 32, BS_GROUPBOX, 0},
                    {IDC_MAT_CODE, L"Edit", L"", 12, 232, 192, 12, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 0},
                    {IDC_PRINTJOB_FRAME, L"Button", L"_SM_STATIC_PRINTJOB", 4, 256, 208, 40, BS_GROUPBOX, 0},
                    {IDC_JOB_NAME, L"Static", L"_SM_STATIC_NAME", 12, 280, 192, 8, SS_LEFT, 0},
                    {IDC_JOB_COUNT, L"Static", L"_SM_STATIC_COUNT", 12, 268, 192, 8, SS_LEFT, 0},
                });
    ExpectItems(IDD_INFO, {
                              {IDC_FILE_LIST, L"ListBox", L"", 4, 4, 212, 296,
                               LBS_NOSEL | LBS_NOTIFY | WS_VSCROLL | WS_BORDER, 0},
                              {IDC_SAVE_LOG, L"Button", L"_SM_SAVE_LOG", 4, 304, 212, 12, BS_PUSHBUTTON | WS_TABSTOP, 0},
                          });
    ExpectItems(IDD_LOG_BOX, {{IDC_LOG_TEXT, L"Static", L"", 12, 36, 168, 8, SS_LEFT, 0}});
}

TEST(Resources, IconBitmapAcceleratorsAndManifest)
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

    HBITMAP hBitmap = static_cast<HBITMAP>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(hBitmap, nullptr);
    DIBSECTION dib = {};
    ASSERT_EQ(GetObjectW(hBitmap, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 300);
    EXPECT_EQ(dib.dsBm.bmHeight, 153);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    DeleteObject(hBitmap);

    HACCEL hAccel = LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    ASSERT_NE(hAccel, nullptr);
    ACCEL entries[4] = {};
    ASSERT_EQ(CopyAcceleratorTableW(hAccel, entries, 4), 1);
    EXPECT_EQ(entries[0].key, VK_F5);
    EXPECT_EQ(entries[0].cmd, IDM_REFRESH);
    EXPECT_EQ(entries[0].fVirt & (FVIRTKEY | FSHIFT | FCONTROL | FALT), FVIRTKEY);
    DestroyAcceleratorTable(hAccel);

    HRSRC hManifest = FindResourceW(Instance(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(hManifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(Instance(), hManifest)));
    const std::string manifest(text, SizeofResource(Instance(), hManifest));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
}
