#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <string>
#include <utility>
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
    // As Explorer drops a file: a DROPFILES block, which the browser finishes and so frees.
    void Drop(const std::wstring& path) const
    {
        const std::string block = DropFilesBlock({path});
        HGLOBAL drop = GlobalAlloc(GMEM_FIXED, block.size());
        ASSERT_NE(drop, nullptr);
        CopyMemory(drop, block.data(), block.size());
        OpenDroppedItem(dialog.get(), static_cast<HDROP>(drop));
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

// Backup copies such as "c.sph_old" match the search through their 8.3 short names
// ("C~1.SPH"), as on any Windows volume that keeps short names.
TEST_F(Scan, FoldersAndOtherNamesAreLeftOutButHiddenAndSystemFilesAreListed)
{
    ASSERT_TRUE(CreateDirectoryW((folder / L"folder.sph").c_str(), nullptr));
    AddFile(L"readme.txt");
    AddFile(L"notes.sph.txt");
    AddFile(L"sph");
    AddFile(L"b.sphx");
    AddFile(L"c.sph_old");
    AddFile(L"Upper.SPH");
    AddFile(L"hidden.sph", FILE_ATTRIBUTE_HIDDEN);
    AddFile(L"system.sph", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW((folder / L"c.sph_old").c_str(), shortName, MAX_PATH), 0u);
    ASSERT_EQ(_wcsicmp(PathFindExtensionW(shortName), L".sph"), 0) << shortName;

    ScanFolder(dialog.get(), folder.Path());
    EXPECT_EQ(dialog.ListBoxEntries(), (Entries{L"hidden.sph", L"system.sph", L"Upper.SPH"}));
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
    ui.Clear();
    Drop(folder / L"gone.sph");
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_EQ(GetFolderText(dialog.get()), folder.Path());
    EXPECT_EQ(FileNameRow(), L"a.sph");
}

// The list, in its order: no library, no GetPluginInfo, a plug-in that names *.abc, leaves a
// window of its own and then faults, two that name *.abc and *.def;*.deg, one that names
// *.sjh;*.sjk, and one that names *.t3 only after a pair with neither pattern nor name.
TEST_F(Scan, ADroppedPictureSelectsTheFirstPluginThatReadsItAndLeavesFolderAndHistory)
{
    FixtureLog log;
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> plugins = {
        {L"notalib.sph", L"1.sph"},  {L"configonly.sph", L"2.sph"}, {L"faulting\\faultywindow.sph", L"3.sph"},
        {L"ordinary.sph", L"4.sph"}, {L"ordinary.sph", L"5.sph"},     {L"shiftjis.sph", L"6.sph"},
        {L"gappy.sph", L"7.sph"}};
    for (const auto& plugin : plugins) {
        ASSERT_TRUE(CopyFileW(FixturePath(plugin.first).c_str(), (folder / plugin.second).c_str(), FALSE));
    }
    TempFolder pictures;
    for (const wchar_t* name : {L"Photo.SJK", L"photo.abc", L"photo.xyz", L"photo.t3"}) {
        ASSERT_TRUE(WriteBytes(pictures / name, "picture"));
    }
    ScanFolder(dialog.get(), folder.Path());
    const std::vector<std::wstring> history = ReadFolderHistory(settings);
    ui.Clear();

    // The second pattern of a cell, in another case. The faulting plug-in's window goes once the
    // search is over, though plug-ins that did not fault were asked after it.
    Drop(pictures / L"Photo.SJK");
    EXPECT_EQ(Selection(), 5);
    EXPECT_EQ(FileNameRow(), L"6.sph");
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 2u);
    ASSERT_NE(log.LoggedWindow("3 window "), nullptr);
    EXPECT_FALSE(IsWindow(log.LoggedWindow("3 window ")));
    EXPECT_TRUE(IsWindowEnabled(dialog.get()));

    // The faulting plug-in named it first, and is passed over but kept loaded; of the two that
    // name it, the first in list order is taken and the search ends there. Every other load is
    // freed, the search's and the inspection's.
    log.Clear();
    Drop(pictures / L"photo.abc");
    EXPECT_EQ(Selection(), 3);
    EXPECT_EQ(FileNameRow(), L"4.sph");
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    std::vector<std::string> asked;
    for (const std::string& line : log.Lines()) {
        if (line.size() > 7 && line.compare(line.size() - 7, 7, " info 2") == 0) asked.push_back(line);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"3 info 2", "4 info 2", "4 info 2"}));
    EXPECT_TRUE(IsLoaded(folder / L"3.sph"));
    EXPECT_EQ(log.Count("2 detach free") + log.Count("4 detach free"), 3u);

    // A name nobody reads, and one read only after the empty pair: a beep each, and neither a
    // fault nor a match beeps.
    for (const wchar_t* name : {L"photo.xyz", L"photo.t3"}) {
        SCOPED_TRACE(Utf8(name));
        Drop(pictures / name);
        EXPECT_EQ(Selection(), 3);
        EXPECT_EQ(FileNameRow(), L"4.sph");
        EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    }
    EXPECT_EQ(ui.Beeps(), (std::vector<UINT>{MB_ICONHAND, MB_ICONHAND}));
    EXPECT_EQ(GetFolderText(dialog.get()), folder.Path());
    EXPECT_EQ(dialog.ListBoxEntries().size(), plugins.size());
    EXPECT_EQ(ReadFolderHistory(settings), history);
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

    EXPECT_TRUE(LoadSelectedPlugin(dialog.get()));
}

TEST_F(Scan, NoSelectionGivesNoPathAndNoLibrary)
{
    ScanFolder(dialog.get(), folder.Path());
    std::wstring fileName = L"left over";
    EXPECT_EQ(GetSelectedPluginPath(dialog.get(), &fileName), L"");
    EXPECT_EQ(fileName, L"");
    EXPECT_FALSE(LoadSelectedPlugin(dialog.get()));

    // A folder and name too long to combine give no path, but the name still comes back.
    dialog.ShowEntry(L"C:\\" + std::wstring(300, L'x'), L"a.sph");
    EXPECT_EQ(GetSelectedPluginPath(dialog.get(), &fileName), L"");
    EXPECT_EQ(fileName, L"a.sph");
    EXPECT_FALSE(LoadSelectedPlugin(dialog.get()));
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

// Last in this program: a fault that leaves FreeLibrary part way leaves the loader as it was
// then (Wine keeps its lock taken and unloads nothing more in this process). A plug-in that
// faults as the search frees it is passed over, and the window its attach left goes when the
// search is over; the next one that reads the picture is taken.
TEST_F(Scan, APluginThatFaultsAsTheSearchFreesItIsPassedOverAndItsWindowPutBack)
{
    FixtureLog log;
    AddPlugin(L"1.sph");
    ASSERT_TRUE(CopyFileW(FixturePath(L"faulting\\faultdetachwindow.sph").c_str(), (folder / L"2.sph").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(FixturePath(L"shiftjis.sph").c_str(), (folder / L"3.sph").c_str(), FALSE));
    TempFolder pictures;
    ASSERT_TRUE(WriteBytes(pictures / L"photo.sjk", "picture"));
    ScanFolder(dialog.get(), folder.Path());
    ui.Clear();

    Drop(pictures / L"photo.sjk");
    ASSERT_EQ(log.Count("2 faulting at free"), 1u);
    const HWND left = log.LoggedWindow("2 attach window ");
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(IsWindow(left));
    EXPECT_EQ(Selection(), 2);
    EXPECT_EQ(FileNameRow(), L"3.sph");
    EXPECT_TRUE(IsWindowEnabled(dialog.get()));
    EXPECT_TRUE(ui.Beeps().empty());
    if (IsWindow(left)) DestroyWindow(left);
}

}  // namespace
