#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "dialog.h"
#include "drop.h"
#include "fixture_log.h"
#include "history.h"
#include "inspect.h"
#include "intercept.h"
#include "resource.h"
#include "scan.h"
#include "scratch.h"
#include "selection.h"
#include "test_browser_dialog.h"

namespace {

using Entries = std::vector<std::wstring>;

// Every scan records its folder in the real settings file, which is put back afterwards.
class Scan : public testing::Test {
protected:
    void AddPlugin(const std::wstring& name) const
    {
        ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / name).c_str(), FALSE));
    }
    void AddFile(const std::wstring& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) const
    {
        ASSERT_TRUE(WriteBytes(folder / name, "not a library"));
        SetFileAttributesW((folder / name).c_str(), attributes);
    }
    int Selection() const
    {
        return static_cast<int>(SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_GETCURSEL, 0, 0));
    }
    std::wstring FileNameRow() const
    {
        const auto rows = dialog.Rows(IDC_INFO_LIST);
        return rows.empty() ? std::wstring() : rows[0].second;
    }

    const std::wstring settings = GetSettingsFilePath(nullptr);
    SavedFile savedSettings{settings};
    TempFolder folder;
    UiIntercept ui;
    TestBrowserDialog dialog;
};

TEST_F(Scan, PluginFilesAreListedSortedAndTheFirstIsInspected)
{
    AddFile(L"c.sph");
    AddFile(L"B.sph");
    AddPlugin(L"a.sph");
    ScanFolder(dialog.get(), folder.Path());

    EXPECT_EQ(GetFolderText(dialog.get()), folder.Path());
    EXPECT_EQ(dialog.ListBoxEntries(), (Entries{L"a.sph", L"B.sph", L"c.sph"}));
    EXPECT_EQ(Selection(), 0);
    EXPECT_TRUE(IsListReady(dialog.get()));
    EXPECT_EQ(FileNameRow(), L"a.sph");
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    EXPECT_EQ(ReadFirstHistoryFolder(settings), folder.Path());
    EXPECT_FALSE(IsLoaded(folder / L"a.sph"));
}

TEST_F(Scan, FoldersAndOtherNamesAreLeftOutButHiddenAndSystemFilesAreListed)
{
    ASSERT_TRUE(CreateDirectoryW((folder / L"folder.sph").c_str(), nullptr));
    AddFile(L"readme.txt");
    AddFile(L"notes.sph.txt");
    AddFile(L"sph");
    AddFile(L"hidden.sph", FILE_ATTRIBUTE_HIDDEN);
    AddFile(L"system.sph", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    ScanFolder(dialog.get(), folder.Path());
    EXPECT_EQ(dialog.ListBoxEntries(), (Entries{L"hidden.sph", L"system.sph"}));
}

TEST_F(Scan, EmptyOrMissingFolderGivesAnEmptyViewSilentlyAndIsStillRecorded)
{
    AddPlugin(L"a.sph");
    const std::wstring empty = folder / L"empty";
    ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
    for (const std::wstring& target : {empty, folder / L"missing"}) {
        SCOPED_TRACE(testing::Message() << target.c_str());
        // A full view first, so that anything left over would show.
        ScanFolder(dialog.get(), folder.Path());
        ASSERT_EQ(FileNameRow(), L"a.sph");

        ScanFolder(dialog.get(), target);
        EXPECT_EQ(GetFolderText(dialog.get()), target);
        EXPECT_TRUE(dialog.ListBoxEntries().empty());
        EXPECT_EQ(Selection(), LB_ERR);
        EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty());
        EXPECT_TRUE(dialog.Rows(IDC_TYPE_LIST).empty());
        EXPECT_FALSE(dialog.Enabled(IDC_SETTINGS));
        EXPECT_FALSE(dialog.Enabled(IDC_ABOUT));
        EXPECT_TRUE(IsListReady(dialog.get()));
        EXPECT_EQ(ReadFolderHistory(settings)[0], target);
    }
    EXPECT_TRUE(ui.Beeps().empty());
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(Scan, ADroppedPathThatIsNotThereBeepsOnceAndChangesNothing)
{
    AddPlugin(L"a.sph");
    ScanFolder(dialog.get(), folder.Path());
    const std::string block = DropFilesBlock({folder / L"gone.sph"});
    HGLOBAL drop = GlobalAlloc(GMEM_FIXED, block.size());
    ASSERT_NE(drop, nullptr);
    CopyMemory(drop, block.data(), block.size());
    ui.Clear();
    OpenDroppedItem(dialog.get(), static_cast<HDROP>(drop));  // finishes the drop, which frees it
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_EQ(GetFolderText(dialog.get()), folder.Path());
    EXPECT_EQ(FileNameRow(), L"a.sph");
}

// The test dialog does nothing by itself; drops go to the browser's own procedure.
LRESULT CALLBACK RouteDropsToTheBrowser(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_DROPFILES) return BrowserDialogProc(window, message, wParam, lParam);
    return DefSubclassProc(window, message, wParam, lParam);
}

// A drop reaches the browser through whatever modal loop runs, a plug-in's own dialog too; a scan
// then would load plug-ins again under that dialog.
TEST_F(Scan, ADropWhileAPlugInsDialogIsUpBeepsOnceAndLoadsNothing)
{
    AddPlugin(L"a.sph");
    dialog.ShowEntry(FixturesDir(), L"selfclosing.sph");
    ASSERT_TRUE(SetWindowSubclass(dialog.get(), RouteDropsToTheBrowser, 1, 0));
    FixtureLog log;

    // Posted first, the drop is taken by the plug-in's dialog loop.
    ASSERT_TRUE(DropFiles(dialog.get(), {folder / L"a.sph"}, [this] { OpenPluginDialog(dialog.get(), 1); }));
    RemoveWindowSubclass(dialog.get(), RouteDropsToTheBrowser, 1);
    ASSERT_EQ(log.Count("selfclosing config 1 "), 1u);
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_EQ(GetFolderText(dialog.get()), FixturesDir());
    EXPECT_EQ(dialog.ListBoxEntries(), Entries{L"selfclosing.sph"});
    EXPECT_EQ(FileNameRow(), L"selfclosing.sph");
    for (const std::string& line : log.Lines()) {
        if (line.find(" attach ") != std::string::npos) {
            EXPECT_EQ(line.rfind("selfclosing ", 0), 0u) << line;
        }
    }
}

TEST_F(Scan, RescanStartsFromAFreshListAndTheFirstEntry)
{
    AddPlugin(L"a.sph");
    AddPlugin(L"b.sph");
    ScanFolder(dialog.get(), folder.Path());
    SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_SETCURSEL, 1, 0);
    ScanFolder(dialog.get(), folder.Path());
    EXPECT_EQ(dialog.ListBoxEntries(), (Entries{L"a.sph", L"b.sph"}));
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(FileNameRow(), L"a.sph");
}

TEST_F(Scan, FolderWithOrWithoutTrailingBackslashGivesOnePluginPath)
{
    AddPlugin(L"a.sph");
    for (const std::wstring& shown : {folder.Path() + L"\\", folder.Path()}) {
        ScanFolder(dialog.get(), shown);
        EXPECT_EQ(GetFolderText(dialog.get()), shown);
        std::wstring fileName;
        EXPECT_EQ(GetSelectedPluginPath(dialog.get(), &fileName), folder / L"a.sph");
        EXPECT_EQ(fileName, L"a.sph");
    }
    EXPECT_EQ(ReadFolderHistory(settings)[0], folder.Path());
    EXPECT_EQ(ReadFolderHistory(settings)[1], folder.Path() + L"\\");

    HMODULE library = LoadSelectedPlugin(dialog.get());
    EXPECT_NE(library, nullptr);
    if (library) FreeLibrary(library);
}

TEST_F(Scan, NoSelectionGivesNoPathAndNoLibrary)
{
    ScanFolder(dialog.get(), folder.Path());
    std::wstring fileName = L"left over";
    EXPECT_EQ(GetSelectedPluginPath(dialog.get(), &fileName), L"");
    EXPECT_EQ(fileName, L"");
    EXPECT_EQ(LoadSelectedPlugin(dialog.get()), nullptr);

    // A folder and name too long to combine give no path, but the name still comes back.
    dialog.ShowEntry(L"C:\\" + std::wstring(300, L'x'), L"a.sph");
    EXPECT_EQ(GetSelectedPluginPath(dialog.get(), &fileName), L"");
    EXPECT_EQ(fileName, L"a.sph");
    EXPECT_EQ(LoadSelectedPlugin(dialog.get()), nullptr);
}

TEST_F(Scan, SelectionChangesReachTheViewOnlyWhileTheListIsReady)
{
    FixtureLog log;
    dialog.ShowEntry(FixturesDir(), L"ordinary.sph");
    SetListReady(dialog.get(), false);
    const WPARAM selectionChange = MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE);
    const LPARAM list = reinterpret_cast<LPARAM>(dialog.Item(IDC_PLUGIN_LIST));

    EXPECT_EQ(BrowserDialogProc(dialog.get(), WM_COMMAND, selectionChange, list), TRUE);
    EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty());
    EXPECT_EQ(log.Count("ordinary attach"), 0u);

    SetListReady(dialog.get(), true);
    EXPECT_EQ(BrowserDialogProc(dialog.get(), WM_COMMAND, selectionChange, list), TRUE);
    EXPECT_EQ(FileNameRow(), L"ordinary.sph");
}

}  // namespace
