#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "dialog.h"
#include "fixture_log.h"
#include "handles.h"
#include "history.h"
#include "intercept.h"
#include "module.h"
#include "picker.h"
#include "resource.h"
#include "scan.h"
#include "scratch.h"
#include "selection.h"
#include "ui_driver.h"

namespace {

// What a menu shows for an item text: "&&" reads as "&", a single "&" marks the next letter.
std::wstring DisplayedMenuText(const std::wstring& itemText)
{
    std::wstring shown;
    for (size_t i = 0; i < itemText.size(); ++i) {
        if (itemText[i] != L'&') {
            shown += itemText[i];
        } else if (i + 1 < itemText.size() && itemText[i + 1] == L'&') {
            shown += L'&';
            ++i;
        }
    }
    return shown;
}

// Each TVM_ENSUREVISIBLE the code under test sends: to which class, and the text of the item
// and whether it was the tree's selection at that moment.
struct EnsuredItem {
    std::wstring windowClass;
    std::wstring text;
    bool selected;
};
SlimLock g_ensuredMutex;
std::vector<EnsuredItem> g_ensured;
void* g_realSendMessage = nullptr;

LRESULT WINAPI RecordingSendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto send = reinterpret_cast<decltype(&SendMessageW)>(g_realSendMessage);
    if (message == TVM_ENSUREVISIBLE) {
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        wchar_t text[MAX_PATH] = {};
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = reinterpret_cast<HTREEITEM>(lParam);
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        send(window, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        const bool selected = send(window, TVM_GETNEXTITEM, TVGN_CARET, 0) == lParam;
        std::lock_guard<SlimLock> lock(g_ensuredMutex);
        g_ensured.push_back({className, text, selected});
    }
    return send(window, message, wParam, lParam);
}

int ListBoxCount(HWND dialog) { return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PLUGIN_LIST, LB_GETCOUNT, 0, 0)); }

// The real main dialog, hidden (hiding a shown window costs seconds under Xvfb), started on
// a history whose first entry is the folder given.
class FolderChoice : public testing::Test {
protected:
    void SetUp() override
    {
        InitCommonControls();
        CreateDirectoryW(second_.c_str(), nullptr);
        CreateDirectoryW(third_.c_str(), nullptr);
    }
    void TearDown() override
    {
        if (dialog_) DestroyWindow(dialog_);
    }

    void Start(const std::vector<std::wstring>& history)
    {
        settings_.WriteHistory(history);
        dialog_ = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, BrowserDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        SetWindowPos(dialog_, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }

    std::vector<std::wstring> History() const { return ReadFolderHistory(settingsFile_); }

    SettingsSandbox settings_;
    const std::wstring settingsFile_ = GetSettingsFilePath(nullptr);
    TempFolder first_;
    const std::wstring second_ = first_ / L"二番目";
    const std::wstring third_ = first_ / L"third";
    HWND dialog_ = nullptr;
    UiIntercept ui_;
};

TEST_F(FolderChoice, EmptyHistoryBeepsAndShowsNoMenu)
{
    Start({first_.Path()});
    settings_.WriteHistory({});
    PopupMenuDriver menu(0);
    ShowFolderHistoryMenu(dialog_);
    EXPECT_FALSE(menu.Seen());
    EXPECT_EQ(ui_.Beeps(), std::vector<UINT>{MB_ICONHAND});
}

TEST_F(FolderChoice, ChoosingThirdEntryScansItFocusesPluginListAndMovesItFirst)
{
    Start({first_.Path(), second_, FixturesDir(), third_});
    SetFocus(GetDlgItem(dialog_, IDC_TYPE_LIST));
    {
        PopupMenuDriver menu(3);
        ShowFolderHistoryMenu(dialog_);
        ASSERT_TRUE(menu.Seen());
        EXPECT_EQ(menu.Texts(), (std::vector<std::wstring>{first_.Path(), second_, FixturesDir(), third_}));
    }
    EXPECT_EQ(GetFolderText(dialog_), FixturesDir());
    EXPECT_GT(ListBoxCount(dialog_), 0);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog_, IDC_PLUGIN_LIST));
    EXPECT_EQ(History(), (std::vector<std::wstring>{FixturesDir(), first_.Path(), second_, third_}));
    EXPECT_TRUE(ui_.Beeps().empty());
}

TEST_F(FolderChoice, DismissingHistoryMenuChangesNothing)
{
    Start({first_.Path(), second_});
    const std::string before = ReadBytes(settingsFile_);
    SetFocus(GetDlgItem(dialog_, IDC_TYPE_LIST));
    HWND focus = GetFocus();
    {
        PopupMenuDriver menu(0);
        ShowFolderHistoryMenu(dialog_);
        ASSERT_TRUE(menu.Seen());
    }
    EXPECT_EQ(GetFolderText(dialog_), first_.Path());
    EXPECT_EQ(ReadBytes(settingsFile_), before);
    EXPECT_EQ(GetFocus(), focus);
    EXPECT_TRUE(ui_.Beeps().empty());
}

TEST_F(FolderChoice, AmpersandsInFolderNamesReadAsWritten)
{
    const std::vector<std::wstring> folders = {first_.Path(), L"C:\\Tom & Jerry", L"D:\\R&D\\&&x&", L"C:\\写真&Co"};
    Start(folders);
    PopupMenuDriver menu(0);
    ShowFolderHistoryMenu(dialog_);
    ASSERT_TRUE(menu.Seen());
    const std::vector<std::wstring> items = menu.Texts();
    ASSERT_EQ(items.size(), folders.size());
    for (size_t i = 0; i < folders.size(); ++i) EXPECT_EQ(DisplayedMenuText(items[i]), folders[i]) << items[i];
}

// Since Windows 7 the picker selects the folder without scrolling its tree to it; the
// browser makes that item visible once, leaving later selections to the user.
TEST_F(FolderChoice, PickerOpensOnCurrentFolderUnderItsTitleAndShowsIt)
{
    Start({second_, third_});
    SettleFolderAccessTimes(second_);
    SettleFolderAccessTimes(third_);
    g_ensured.clear();
    g_realSendMessage = PatchImport("user32.dll", "SendMessageW", reinterpret_cast<void*>(&RecordingSendMessageW));
    ASSERT_NE(g_realSendMessage, nullptr);
    const auto restore = handles::MakeScopeGuard([] { PatchImport("user32.dll", "SendMessageW", g_realSendMessage); });
    {
        PickerDriver picker(dialog_, PickerAnswer::SelectThenAccept, third_);
        BrowseForPluginFolder(dialog_);
        ASSERT_TRUE(picker.Seen());
        const std::vector<std::wstring> texts = picker.Texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), LoadResourceString(IDS_PICK_FOLDER_TITLE)), texts.end());
        // What the picker itself showed selected when it opened.
        EXPECT_EQ(texts.back(), L"二番目");
    }
    EXPECT_EQ(GetFolderText(dialog_), third_);
    EXPECT_EQ(History(), (std::vector<std::wstring>{third_, second_}));
    std::lock_guard<SlimLock> lock(g_ensuredMutex);
    ASSERT_EQ(g_ensured.size(), 1u);
    EXPECT_EQ(g_ensured[0].windowClass, WC_TREEVIEWW);
    EXPECT_EQ(g_ensured[0].text, L"二番目");
    EXPECT_TRUE(g_ensured[0].selected);
}

TEST_F(FolderChoice, BrowserAtADriveRootKeepsItsBackslash)
{
    Start({L"C:\\"});
    EXPECT_EQ(GetFolderText(dialog_), L"C:\\");
    EXPECT_EQ(History(), std::vector<std::wstring>{L"C:\\"});
}

TEST_F(FolderChoice, CancellingPickerLeavesEverythingAsItWas)
{
    Start({FixturesDir(), first_.Path()});
    const int entries = ListBoxCount(dialog_);
    ASSERT_GT(entries, 0);
    const std::string before = ReadBytes(settingsFile_);
    {
        PickerDriver picker(dialog_, PickerAnswer::Cancel);
        BrowseForPluginFolder(dialog_);
        ASSERT_TRUE(picker.Seen());
    }
    EXPECT_EQ(GetFolderText(dialog_), FixturesDir());
    EXPECT_EQ(ListBoxCount(dialog_), entries);
    EXPECT_EQ(ReadBytes(settingsFile_), before);
    EXPECT_TRUE(ui_.Beeps().empty());
}

TEST_F(FolderChoice, ChosenFolderComesBackWithoutTrailingBackslashDriveRootWithIt)
{
    Start({first_.Path()});
    SettleFolderAccessTimes(third_);
    {
        PickerDriver picker(dialog_, PickerAnswer::SelectThenAccept, third_ + L"\\");
        BrowseForPluginFolder(dialog_);
        ASSERT_TRUE(picker.Seen());
    }
    EXPECT_EQ(GetFolderText(dialog_), third_);
    EXPECT_EQ(History(), (std::vector<std::wstring>{third_, first_.Path()}));

    PickerDriver root(dialog_, PickerAnswer::SelectThenAccept, L"C:\\");
    EXPECT_EQ(PickFolder(dialog_, L"title", first_.Path()), L"C:\\");
}

TEST_F(FolderChoice, PickerLeavesThreadsComStateAsItFoundIt)
{
    Start({first_.Path()});
    {
        PickerDriver picker(dialog_, PickerAnswer::Cancel);
        EXPECT_EQ(PickFolder(dialog_, L"title", first_.Path()), L"");
    }
    // A leftover single-threaded apartment would refuse the change of model.
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(result, S_OK);
    if (SUCCEEDED(result)) CoUninitialize();
}

}  // namespace
