#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "clipboard.h"
#include "dialog.h"
#include "handles.h"
#include "history.h"
#include "intercept.h"
#include "message.h"
#include "module.h"
#include "scratch.h"
#include "resource.h"
#include "ui_driver.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct TypeRow {
    std::wstring extension;
    std::wstring format;
};

void InitListViews()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

void EnsureColumns(HWND list)
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    for (int column = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)); column < 2; ++column) {
        LVCOLUMNW record = {};
        record.mask = LVCF_WIDTH;
        record.cx = 100;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&record));
    }
}

void FillRows(HWND list, const std::vector<TypeRow>& rows)
{
    EnsureColumns(list);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(rows[i].extension.c_str());
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW cell = {};
        cell.iSubItem = 1;
        cell.pszText = const_cast<wchar_t*>(rows[i].format.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    }
}

void SelectRow(HWND list, int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

class ClipboardExport : public testing::Test {
protected:
    void SetUp() override
    {
        InitListViews();
        dialog_ = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, PlainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        list_ = GetDlgItem(dialog_, IDC_TYPE_LIST);
        ASSERT_TRUE(WriteClipboardText(L"before"));
    }
    void TearDown() override
    {
        if (dialog_) DestroyWindow(dialog_);
    }

    void ExpectConfirmed(UINT stringId)
    {
        ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
        const CapturedMessageBox& box = ui_.MessageBoxes().front();
        EXPECT_EQ(box.text, LoadResourceString(stringId));
        EXPECT_EQ(box.caption, GetProductTitle());
        EXPECT_EQ(box.owner, dialog_);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
        EXPECT_TRUE(ui_.Beeps().empty());
    }
    void ExpectRefused()
    {
        EXPECT_EQ(ui_.Beeps(), std::vector<UINT>{MB_ICONHAND});
        EXPECT_TRUE(ui_.MessageBoxes().empty());
    }

    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    UiIntercept ui_;
};

TEST_F(ClipboardExport, AllExtensionsAreJoinedBySemicolons)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}, {L"", L"空"}, {L"*.png;*.apng", L"PNG"}});
    CopyAllExtensions(list_);
    EXPECT_EQ(ReadClipboardText().text, L"*.bmp;;*.png;*.apng");
    ExpectConfirmed(IDS_COPIED_ALL_EXTENSIONS);

    ui_.Clear();
    FillRows(list_, {{L"*.jpg", L"JPEG"}});
    CopyAllExtensions(list_);
    EXPECT_EQ(ReadClipboardText().text, L"*.jpg");
    ExpectConfirmed(IDS_COPIED_ALL_EXTENSIONS);
}

TEST_F(ClipboardExport, EmptyListCopiesEmptyTextAndConfirms)
{
    FillRows(list_, {});
    CopyAllExtensions(list_);
    const ClipboardContent content = ReadClipboardText();
    EXPECT_TRUE(content.ok);
    EXPECT_EQ(content.text, L"");
    ExpectConfirmed(IDS_COPIED_ALL_EXTENSIONS);
}

TEST_F(ClipboardExport, LongCellsArriveWhole)
{
    const std::wstring exactly255(255, L'拡');
    const std::wstring thousands = std::wstring(3000, L'x') + L"末尾" + std::wstring(2000, L'y');
    FillRows(list_, {{exactly255, L"短い"}, {L"*.a", thousands}, {std::wstring(511, L'b'), L""}});

    EXPECT_EQ(GetListViewItemText(list_, 0, 0).text, exactly255);
    EXPECT_EQ(GetListViewItemText(list_, 1, 1).text, thousands);
    EXPECT_EQ(GetListViewItemText(list_, 2, 0).text, std::wstring(511, L'b'));
    const ListViewText empty = GetListViewItemText(list_, 2, 1);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.text, L"");

    CopyTypeCell(list_, 1, 1);
    EXPECT_EQ(ReadClipboardText().text, thousands);
    ExpectConfirmed(IDS_COPIED_FORMAT_NAME);

    ui_.Clear();
    CopyAllExtensions(list_);
    EXPECT_EQ(ReadClipboardText().text, exactly255 + L";*.a;" + std::wstring(511, L'b'));
}

TEST_F(ClipboardExport, CellCopyTakesItsColumnAndConfirmsAccordingly)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}, {L"*.gif", L"GIF 形式"}});
    CopyTypeCell(list_, 1, 0);
    EXPECT_EQ(ReadClipboardText().text, L"*.gif");
    ExpectConfirmed(IDS_COPIED_EXTENSION);

    ui_.Clear();
    CopyTypeCell(list_, 1, 1);
    EXPECT_EQ(ReadClipboardText().text, L"GIF 形式");
    ExpectConfirmed(IDS_COPIED_FORMAT_NAME);
}

TEST_F(ClipboardExport, EmptyCellIsCopiedAsEmptyText)
{
    FillRows(list_, {{L"*.raw", L""}});
    CopyTypeCell(list_, 0, 1);
    const ClipboardContent content = ReadClipboardText();
    EXPECT_TRUE(content.ok);
    EXPECT_EQ(content.text, L"");
    ExpectConfirmed(IDS_COPIED_FORMAT_NAME);
}

TEST_F(ClipboardExport, RowOutOfRangeBeepsAndLeavesClipboard)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}});
    for (int row : {-1, 1, 1000}) {
        ui_.Clear();
        CopyTypeCell(list_, row, 0);
        ExpectRefused();
    }
    EXPECT_EQ(ReadClipboardText().text, L"before");
}

TEST_F(ClipboardExport, ClipboardHeldByAnotherProcessBeepsAndChangesNothing)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}});
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.Held());
        CopyAllExtensions(list_);
        ExpectRefused();
        ui_.Clear();
        CopyTypeCell(list_, 0, 1);
        ExpectRefused();
    }
    EXPECT_EQ(ReadClipboardText().text, L"before");
}

// Clipboard managers and clipboard history hold the clipboard for a moment after each change.
TEST_F(ClipboardExport, ClipboardHeldForAMomentIsWaitedFor)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}});
    const auto copies = {+[](HWND list) { CopyAllExtensions(list); }, +[](HWND list) { CopyTypeCell(list, 0, 1); }};
    for (void (*copy)(HWND) : copies) {
        // The clipboard belongs to the thread that opened it: this one shuts the test's out.
        struct Holder {
            handles::UniqueHandle held{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
            bool opened = false;
            static DWORD WINAPI Run(void* self)
            {
                auto* holder = static_cast<Holder*>(self);
                holder->opened = OpenClipboard(nullptr) != FALSE;
                SetEvent(holder->held.get());
                if (!holder->opened) return 0;
                Sleep(50);
                CloseClipboard();
                return 0;
            }
        } holder;
        const handles::UniqueHandle thread(CreateThread(nullptr, 0, &Holder::Run, &holder, 0, nullptr));
        ASSERT_TRUE(thread);
        const bool holding = WaitForSingleObject(holder.held.get(), kWaitMs) == WAIT_OBJECT_0 && holder.opened;
        ui_.Clear();
        if (holding) copy(list_);
        WaitForSingleObject(thread.get(), INFINITE);
        ASSERT_TRUE(holding) << "the holder never held the clipboard";
        EXPECT_TRUE(ui_.Beeps().empty());
        EXPECT_EQ(ui_.MessageBoxes().size(), 1u);
    }
    EXPECT_EQ(ReadClipboardText().text, L"Bitmap");
}

// What another program left there goes, whatever its formats: a program that pastes ANSI text
// or a picture would otherwise get the old content, and the browser would never own the data.
TEST_F(ClipboardExport, ACopyReplacesEveryFormatOfThePreviousOwnerAndTakesOwnership)
{
    FillRows(list_, {{L"*.bmp", L"Bitmap"}});
    HWND other = CreateWindowW(L"STATIC", L"other", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(OpenClipboard(other));
    EmptyClipboard();
    const char oldText[] = "old ANSI text";
    HGLOBAL ansi = GlobalAlloc(GMEM_MOVEABLE, sizeof(oldText));
    ASSERT_NE(ansi, nullptr);
    CopyMemory(GlobalLock(ansi), oldText, sizeof(oldText));
    GlobalUnlock(ansi);
    EXPECT_NE(SetClipboardData(CF_TEXT, ansi), nullptr);
    EXPECT_NE(SetClipboardData(CF_BITMAP, CreateBitmap(1, 1, 1, 32, nullptr)), nullptr);
    CloseClipboard();
    ASSERT_EQ(GetClipboardOwner(), other);

    CopyTypeCell(list_, 0, 1);
    ExpectConfirmed(IDS_COPIED_FORMAT_NAME);
    EXPECT_EQ(GetClipboardOwner(), list_);
    ASSERT_TRUE(OpenClipboard(nullptr));
    // The system derives the other text formats (and the locale) from ours; nothing else stays.
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        EXPECT_TRUE(format == CF_UNICODETEXT || format == CF_TEXT || format == CF_OEMTEXT || format == CF_LOCALE)
            << "format " << format << " left on the clipboard";
    }
    std::string pastedAnsi;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* text = static_cast<const char*>(GlobalLock(data))) {
            pastedAnsi = text;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    EXPECT_EQ(pastedAnsi, "Bitmap");
    EXPECT_EQ(ReadClipboardText().text, L"Bitmap");
    DestroyWindow(other);
}

// The context menu lives in the dialog procedure; these run the real one.
class TypeListContextMenu : public testing::Test {
protected:
    void SetUp() override
    {
        InitListViews();
        ASSERT_TRUE(WriteClipboardText(L"before"));
        settings_.WriteHistory({start_.Path()});
        dialog_ = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, BrowserDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        SetWindowPos(dialog_, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        list_ = GetDlgItem(dialog_, IDC_TYPE_LIST);
        FillRows(list_, {{L"*.bmp", L"Bitmap"}, {L"*.pic;*.pi2", L"PIC 形式"}, {L"*.mag", L"MAG"}});
        SelectRow(list_, 1);
    }
    void TearDown() override
    {
        if (dialog_) DestroyWindow(dialog_);
    }

    void OpenFromKeyboard()
    {
        SendMessageW(dialog_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_), MAKELPARAM(-1, -1));
    }

    SettingsSandbox settings_;
    TempFolder start_;
    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    UiIntercept ui_;
};

TEST_F(TypeListContextMenu, CommandsCopyTheSelectedRowsColumns)
{
    {
        PopupMenuDriver menu(1);
        OpenFromKeyboard();
        ASSERT_TRUE(menu.Seen());
        EXPECT_EQ(menu.Texts(), (std::vector<std::wstring>{L"拡張子をクリップボードにコピー(&E)",
                                                            L"ファイル形式名をクリップボードへコピー(&T)"}));
    }
    EXPECT_EQ(ReadClipboardText().text, L"*.pic;*.pi2");
    ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui_.MessageBoxes()[0].text, LoadResourceString(IDS_COPIED_EXTENSION));
    EXPECT_EQ(ui_.MessageBoxes()[0].owner, dialog_);

    ui_.Clear();
    {
        PopupMenuDriver menu(2);
        OpenFromKeyboard();
        ASSERT_TRUE(menu.Seen());
    }
    EXPECT_EQ(ReadClipboardText().text, L"PIC 形式");
    ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui_.MessageBoxes()[0].text, LoadResourceString(IDS_COPIED_FORMAT_NAME));
}

TEST_F(TypeListContextMenu, KeyboardMenuOpensAtSelectedRowsBottomLeftAndDismissCopiesNothing)
{
    RECT row = {};
    row.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageW(list_, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row)));
    POINT corner = {row.left, row.bottom};
    ClientToScreen(list_, &corner);
    {
        PopupMenuDriver menu(0);
        OpenFromKeyboard();
        ASSERT_TRUE(menu.Seen());
        EXPECT_EQ(menu.Bounds().left, corner.x);
        EXPECT_EQ(menu.Bounds().top, corner.y);
    }
    EXPECT_EQ(ReadClipboardText().text, L"before");
    EXPECT_TRUE(ui_.MessageBoxes().empty());
    EXPECT_TRUE(ui_.Beeps().empty());
}

TEST_F(TypeListContextMenu, MouseMenuOpensAtThePointerAndTheInformationListHasNone)
{
    {
        PopupMenuDriver menu(0);
        SendMessageW(dialog_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_), MAKELPARAM(300, 200));
        ASSERT_TRUE(menu.Seen());
        EXPECT_EQ(menu.Bounds().left, 300);
        EXPECT_EQ(menu.Bounds().top, 200);
    }
    // A menu would hold the sent message until the driver answered it.
    PopupMenuDriver none(0);
    SendMessageW(dialog_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, IDC_INFO_LIST)),
                 MAKELPARAM(300, 200));
    EXPECT_FALSE(none.Seen());
    EXPECT_EQ(ReadClipboardText().text, L"before");
}

TEST_F(TypeListContextMenu, NoSelectedRowNoMenu)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    PopupMenuDriver menu(0);
    OpenFromKeyboard();
    EXPECT_FALSE(menu.Seen());
}

}  // namespace
