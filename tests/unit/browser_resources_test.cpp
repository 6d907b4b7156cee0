// The browser's resources as the running program receives them: the dialog template read
// byte by byte, the dialog it creates, the context menu, the string table and the manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "module.h"
#include "process_ui.h"
#include "resource.h"

namespace {

struct TemplateItem {
    DWORD exStyle;
    DWORD style;
    short x, y, cx, cy;
    int id;
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    DWORD exStyle, style;
    short x, y, cx, cy;
    std::wstring menu, className, title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::wstring face;
    std::vector<TemplateItem> items;
};

class Reader {
public:
    explicit Reader(const BYTE* p) : p_(p) {}
    template <typename T>
    T Get()
    {
        T v;
        memcpy(&v, p_, sizeof(T));
        p_ += sizeof(T);
        return v;
    }
    std::wstring String()
    {
        std::wstring s;
        for (WCHAR c = Get<WCHAR>(); c; c = Get<WCHAR>()) s.push_back(c);
        return s;
    }
    // A name or an ordinal; ordinals of the predefined classes come back as their names.
    std::wstring NameOrOrdinal()
    {
        WORD first;
        memcpy(&first, p_, sizeof(first));
        if (first == 0xFFFF) {
            p_ += 2;
            const WORD ordinal = Get<WORD>();
            switch (ordinal) {
            case 0x80: return L"BUTTON";
            case 0x81: return L"EDIT";
            case 0x82: return L"STATIC";
            case 0x83: return L"LISTBOX";
            default: return L"#" + std::to_wstring(ordinal);
            }
        }
        return String();
    }
    void AlignDword(const BYTE* base)
    {
        while ((p_ - base) % 4) ++p_;
    }
    void Skip(size_t n) { p_ += n; }

private:
    const BYTE* p_;
};

DialogTemplate ReadBrowserTemplate()
{
    HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_BROWSER), RT_DIALOG);
    EXPECT_NE(info, nullptr);
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, info)));
    Reader r(base);
    DialogTemplate t = {};
    EXPECT_EQ(r.Get<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.Get<WORD>(), 0xFFFF);  // extended template
    EXPECT_EQ(r.Get<DWORD>(), 0u);     // help id
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    t.menu = r.NameOrOrdinal();
    t.className = r.NameOrOrdinal();
    t.title = r.String();
    t.pointSize = r.Get<WORD>();
    t.weight = r.Get<WORD>();
    t.italic = r.Get<BYTE>();
    t.charset = r.Get<BYTE>();
    t.face = r.String();
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword(base);
        TemplateItem item = {};
        EXPECT_EQ(r.Get<DWORD>(), 0u);  // help id
        item.exStyle = r.Get<DWORD>();
        item.style = r.Get<DWORD>();
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = static_cast<int>(r.Get<DWORD>());
        item.className = r.NameOrOrdinal();
        item.text = r.NameOrOrdinal();
        r.Skip(r.Get<WORD>());
        t.items.push_back(item);
    }
    return t;
}

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    short x, y, cx, cy;
    DWORD style;
};

const ExpectedControl kControls[] = {
    {-1, L"STATIC", L"プラグイン一覧(&L)", 6, 24, 102, 8, 0x50020000},
    {IDC_PLUGIN_LIST, L"LISTBOX", L"", 6, 36, 102, 222, 0x50A30103},
    {-1, L"STATIC", L"情報(&I)", 116, 25, 70, 8, 0x50020000},
    {IDC_INFO_LIST, L"SysListView32", L"", 114, 36, 432, 54, 0x50810805},
    {IDC_COPY_ALL_EXT, L"BUTTON", L"全種の拡張子をコピー(&E)", 294, 96, 102, 14, 0x50030000},
    {IDC_SETTINGS, L"BUTTON", L"設定...(&C)", 420, 96, 60, 14, 0x50010000},
    {IDC_ABOUT, L"BUTTON", L"&About...", 486, 96, 60, 14, 0x50010000},
    {-1, L"STATIC", L"ファイル種類(&T)", 114, 102, 70, 8, 0x50020000},
    {IDC_TYPE_LIST, L"SysListView32", L"", 114, 114, 432, 144, 0x50810805},
    {-1, L"STATIC", L"フォルダ", 6, 6, 36, 8, 0x50020000},
    {IDC_FOLDER, L"EDIT", L"", 42, 6, 438, 12, 0x50000880},
    {IDC_BROWSE, L"BUTTON", L"参照...(&B)", 486, 6, 58, 14, 0x50038000},
};

INT_PTR CALLBACK InertDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

TEST(BrowserTemplate, DialogFrameFontAndCaption)
{
    const DialogTemplate t = ReadBrowserTemplate();
    EXPECT_EQ(t.style, 0x80C808C0u);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 554);
    EXPECT_EQ(t.cy, 264);
    EXPECT_EQ(t.menu, L"");
    EXPECT_EQ(t.className, L"");
    EXPECT_EQ(t.title, L"Plexmoor2");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, SHIFTJIS_CHARSET);
    EXPECT_EQ(t.face, L"メイリオ");
    // No sizing border and no minimise or maximise box.
    EXPECT_EQ(t.style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
}

TEST(BrowserTemplate, ControlsInTabOrderWithExactGeometryAndStyles)
{
    const DialogTemplate t = ReadBrowserTemplate();
    ASSERT_EQ(t.items.size(), std::size(kControls));
    for (size_t i = 0; i < t.items.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i + 1);
        const TemplateItem& item = t.items[i];
        const ExpectedControl& want = kControls[i];
        EXPECT_EQ(static_cast<short>(item.id), want.id);
        EXPECT_EQ(_wcsicmp(item.className.c_str(), want.className), 0) << item.className;
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.style, want.style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
    }
}

TEST(BrowserTemplate, CreatedDialogTabsThroughTheSevenStopsAndHasNoDefaultButton)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BROWSER), nullptr,
                                     InertDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    const int expected[] = {IDC_PLUGIN_LIST, IDC_INFO_LIST, IDC_COPY_ALL_EXT, IDC_SETTINGS,
                            IDC_ABOUT,       IDC_TYPE_LIST, IDC_BROWSE};
    HWND current = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    for (size_t i = 0; i < std::size(expected); ++i) {
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(GetDlgCtrlID(current), expected[i]) << "tab stop " << i + 1;
        current = GetNextDlgTabItem(dialog, current, FALSE);
    }
    EXPECT_EQ(GetDlgCtrlID(current), IDC_PLUGIN_LIST) << "the cycle closes after the Browse button";

    for (int id : {IDC_COPY_ALL_EXT, IDC_SETTINGS, IDC_ABOUT, IDC_BROWSE}) {
        const LRESULT code = SendDlgItemMessageW(dialog, id, WM_GETDLGCODE, 0, 0);
        EXPECT_FALSE(code & DLGC_DEFPUSHBUTTON) << id;
    }
    EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDOK) << "no control claims the default id";
    EXPECT_EQ(GetDlgItem(dialog, IDOK), nullptr);

    // A label's mnemonic reaches the control that follows it.
    HWND label = GetWindow(GetDlgItem(dialog, IDC_TYPE_LIST), GW_HWNDPREV);
    EXPECT_EQ(TextOf(label), L"ファイル種類(&T)");
    DestroyWindow(dialog);
}

TEST(BrowserResources, TypeMenuHasTheTwoCopyCommands)
{
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TYPE_MENU));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    wchar_t text[128] = {};
    GetMenuStringW(menu, 0, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Type");
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    EXPECT_EQ(GetMenuItemID(popup, 0), static_cast<UINT>(ID_COPY_EXTENSION));
    EXPECT_EQ(GetMenuItemID(popup, 1), static_cast<UINT>(ID_COPY_FORMAT_NAME));
    GetMenuStringW(popup, 0, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"拡張子をクリップボードにコピー(&E)");
    GetMenuStringW(popup, 1, text, 128, MF_BYPOSITION);
    EXPECT_STREQ(text, L"ファイル形式名をクリップボードへコピー(&T)");
    DestroyMenu(menu);
}

TEST(BrowserResources, StringTableHoldsEveryBrowserText)
{
    const std::pair<UINT, const wchar_t*> expected[] = {
        {104, L"ファイル名"},
        {105, L"About"},
        {106, L"APIバージョン"},
        {107, L"Susie プラグインフォルダの選択"},
        {108, L"種類"},
        {109, L"内容"},
        {110, L"拡張子"},
        {111, L"ファイル形式名"},
        {112, L"Japanese_Japan.932"},
        {113, L"拡張子群をクリップボードにコピーしました。"},
        {114, L"拡張子をクリップボードにコピーしました。"},
        {115, L"ファイル形式名をクリップボードにコピーしました。"},
        {116, L"以前、読み込み中に終了したため、自動では読み込みません。ダブルクリックで読み込みます。"},
    };
    for (const auto& [id, text] : expected) EXPECT_EQ(LoadResourceString(id), text) << id;
    EXPECT_EQ(LoadResourceString(103), L"");
    EXPECT_EQ(LoadResourceString(117), L"");
}

TEST(BrowserResources, VersionResourceNamesTheProduct)
{
    EXPECT_STREQ(GetVersionString(L"ProductName", L"fallback"), L"Plexmoor2");
    EXPECT_STREQ(GetVersionString(L"ProductVersion", nullptr), L"2.2.0.0");
    EXPECT_STREQ(GetVersionString(L"FileVersion", nullptr), L"2.2.0.0");
    EXPECT_STREQ(GetVersionString(L"FileDescription", nullptr), L"Plexmoor 2");
    EXPECT_STREQ(GetVersionString(L"OriginalFilename", nullptr), L"Plexmoor2.exe");
    EXPECT_STRNE(GetVersionString(L"CompanyName", nullptr), L"");
    EXPECT_STRNE(GetVersionString(L"LegalCopyright", nullptr), L"");
}

TEST(BrowserResources, ManifestAsksForCommonControls6AndPerMonitorAwareness)
{
    HRSRC info = FindResourceExW(nullptr, RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(info, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, info)));
    const std::string manifest(data, SizeofResource(nullptr, info));
    for (const char* needle :
         {"name=\"Quorvane.Plexmoor2\"", "version=\"1.0.0.0\"", "processorArchitecture=\"amd64\"",
          "<description>Plexmoor2</description>", "name=\"Microsoft.Windows.Common-Controls\"",
          "version=\"6.0.0.0\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
          "level=\"asInvoker\"", "uiAccess=\"false\"", ">True</dpiAware>",
          ">PerMonitorV2, PerMonitor</dpiAwareness>", "e2011457-1546-43c5-a5fe-008deee3d3f0",
          "35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
          "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
    }
}

TEST(BrowserResources, IconGroupHasThreeTrueColourSizes)
{
    HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(IDI_BROWSER), RT_GROUP_ICON);
    ASSERT_NE(info, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, info)));
    WORD count;
    memcpy(&count, data + 4, 2);
    ASSERT_EQ(count, 3);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = data + 6 + 14 * i;  // GRPICONDIRENTRY
        WORD bits;
        memcpy(&bits, entry + 6, 2);
        EXPECT_EQ(bits, 32);
        sizes.push_back(entry[0]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{48, 32, 16}));
}
