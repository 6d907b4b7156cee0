// What users and their machines throw at the programs: broken plug-in files, settings files
// that are garbage or cannot be written, folder names full of symbols and scripts, paths at
// the length limit, huge folders and a clipboard that someone else holds. The programs must
// keep working, show what they always show and lose nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture_log.h"
#include "remote_browser.h"
#include "scratch.h"
#include "ui_driver.h"
#include "resource.h"

namespace {

const wchar_t kLoadFailed[] = L"プラグインをロードできませんでした。";
std::vector<Row> OrdinaryInfo(const std::wstring& name)
{
    return {{L"ファイル名", name}, {L"About", L"Plexmoor test fixture 1.0"}, {L"APIバージョン", L"00IN"}};
}

// Folder names as users make them; the last puts everything in one name.
const std::vector<std::wstring> kHostileNames = {
    L"a & b",
    L"100%PATH%",
    L"x;y",
    L"with  two spaces",
    L"写真フォルダ",
    L"한국어 폴더",
    L"\xD842\xDF9Fる",  // U+20B9F, outside the BMP
    L"&% ; 写真 한국 \xD842\xDF9F",
};

std::wstring CopyInto(const std::wstring& folder, const std::wstring& source, const std::wstring& name)
{
    const std::wstring target = folder + L"\\" + name;
    EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << Utf8(target);
    return target;
}

std::wstring MakeFolder(const TempFolder& base, const std::wstring& name)
{
    const std::wstring path = base / name;
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << Utf8(path);
    return path;
}

std::string GarbageBytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (char& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>((seed >> 16) & 0xFF);
    }
    return bytes;
}

}  // namespace

TEST(HostilePlugins, BrokenFilesLeaveBothProgramsWorkingAndTheConfiguratorNamesThem)
{
    SettingsSandbox sandbox;
    TempFolder base;
    const std::wstring folder = MakeFolder(base, kHostileNames.back());
    const std::vector<std::wstring> broken = {L"refuses.sph", L"truncated.sph", L"win32.sph"};
    for (const std::wstring& name : broken) CopyInto(folder, FixturePath(name), name);
    const std::wstring ordinaryName = kHostileNames.back() + L".sph";
    const std::wstring ordinary = CopyInto(folder, FixturePath(L"ordinary.sph"), ordinaryName);
    sandbox.WriteHistory({folder});
    FixtureLog log;

    {
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), folder);
        const std::vector<std::wstring> names = browser.PluginNames();
        ASSERT_EQ(names.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            browser.SelectPlugin(i);
            SCOPED_TRACE(Utf8(names[static_cast<size_t>(i)]));
            ASSERT_TRUE(browser.Running());
            if (names[static_cast<size_t>(i)] == ordinaryName) {
                EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(ordinaryName));
                EXPECT_EQ(browser.TypeRows().size(), 3u);
                EXPECT_TRUE(browser.Enabled(IDC_SETTINGS));
                continue;
            }
            EXPECT_TRUE(browser.InfoRows().empty());
            EXPECT_TRUE(browser.TypeRows().empty());
            EXPECT_FALSE(browser.Enabled(IDC_SETTINGS));
            // Settings reached anyway (a stale click): no box, nothing loaded that stays (the beep
            // is observed in-process, Inspection.SettingsWithoutALoadableDialogOnlyBeep).
            browser.Click(IDC_SETTINGS);
            EXPECT_FALSE(browser.ShowsMessageBox());
            EXPECT_FALSE(HasLoaded(browser.Process().Id(), folder + L"\\" + names[static_cast<size_t>(i)]));
        }
        EXPECT_EQ(browser.Close(), 0u);
    }

    for (const std::wstring& name : broken) {
        SCOPED_TRACE(Utf8(name));
        const std::wstring path = folder + L"\\" + name;
        const RunResult run = RunConfigurator(path);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, std::wstring(kLoadFailed) + L"\r\n" + path);
        EXPECT_EQ(run.boxes[0].caption, L"Plexmoor1");
        EXPECT_EQ(run.exitCode, 1u);
    }
    log.Clear();
    const RunResult run = RunConfigurator(ordinary);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(log.Count(Utf8(kHostileNames.back()) + " config 1 "), 1u);
}

// A message box without an owner, from GetPluginInfo or from a settings call, runs its modal loop
// inside the browser's call into the plug-in. Another entry selected and Settings pressed
// meanwhile must wait for no second call: the view is the one plug-in's, the selection stays.
TEST(HostilePlugins, AnOwnerlessBoxInsideAPluginCallKeepsEveryOtherActionOut)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder.Path(), FixturePath(L"ordinary.sph"), L"a.sph");
    CopyInto(folder.Path(), FixturePath(L"calls\\ownerless.sph"), L"b.sph");
    sandbox.WriteHistory({folder.Path()});
    FixtureLog log;
    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    ASSERT_EQ(browser.PluginNames(), (std::vector<std::wstring>{L"a.sph", L"b.sph"}));

    for (const bool settings : {false, true}) {
        SCOPED_TRACE(settings ? "settings" : "selection");
        log.Clear();
        if (settings) {
            browser.Click(IDC_SETTINGS);
        } else {
            browser.SelectPlugin(1);
        }
        const MessageBoxView box = browser.WaitForMessageBox();
        ASSERT_NE(box.window, nullptr);
        EXPECT_FALSE(IsWindowEnabled(browser.Dialog()));
        browser.SelectPlugin(0);
        browser.Click(IDC_SETTINGS);
        browser.Settle();
        DismissMessageBox(box.window);
        // A nested call would have shown a box of its own by now.
        for (HWND nested = nullptr; WaitUntilGone(box.window) && (nested = FindMessageBox(browser.Process().Id()));) {
            ADD_FAILURE() << "a second box: " << Utf8(TextOf(nested));
            DismissMessageBox(nested);
            WaitUntilGone(nested);
        }
        browser.Settle();
        EXPECT_EQ(browser.SelectedPlugin(), 1);
        EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"b.sph"));
        EXPECT_EQ(browser.TypeRows().size(), 3u);
        EXPECT_EQ(log.Count("a attach"), 0u);
        EXPECT_EQ(log.Count("b config"), settings ? 1u : 0u);
        EXPECT_TRUE(IsWindowEnabled(browser.Dialog()));
    }
    EXPECT_EQ(browser.Close(), 0u);
}

TEST(HostileSettings, GarbageFilesCountAsNoHistoryAndTheBrowserStartsFromTheRegistry)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder.Path(), FixturePath(L"ordinary.sph"), L"ordinary.sph");
    sandbox.SetSusieFolder(folder.Path());
    const std::string utf16Garbage = std::string("\xFF\xFE", 2) + GarbageBytes(4096, 7);
    for (const std::string& garbage : {GarbageBytes(4096, 1), utf16Garbage}) {
        SCOPED_TRACE(garbage.size());
        sandbox.WriteSettingsBytes(garbage);
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), folder.Path());
        EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"ordinary.sph"));
        EXPECT_EQ(browser.Close(), 0u);
        EXPECT_EQ(sandbox.HistoryKeys()[0], folder.Path());
    }
}

TEST(HostileSettings, AValueOfFortyThousandCharactersIsCutAndTheOtherEntriesStillWork)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder.Path(), FixturePath(L"ordinary.sph"), L"ordinary.sph");
    const std::wstring huge = L"C:\\" + std::wstring(39997, L'x');
    sandbox.WriteHistory({huge, folder.Path()});

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), huge.substr(0, 32768));
    EXPECT_EQ(browser.PluginCount(), 0);
    EXPECT_FALSE(browser.Enabled(IDC_SETTINGS));

    browser.DropDownHistory();
    ASSERT_TRUE(browser.ChooseFromPopupMenu(2));
    EXPECT_EQ(browser.Folder(), folder.Path());
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"ordinary.sph"));
    EXPECT_EQ(browser.Close(), 0u);
    EXPECT_EQ(sandbox.History(), (std::vector<std::wstring>{folder.Path(), huge.substr(0, 32768)}));
}

TEST(HostileSettings, EightKeysHoldingOneFolderStayUsableAndShiftAsAnyHistory)
{
    SettingsSandbox sandbox;
    TempFolder a;
    TempFolder b;
    CopyInto(a.Path(), FixturePath(L"ordinary.sph"), L"a.sph");
    CopyInto(b.Path(), FixturePath(L"ordinary.sph"), L"b.sph");
    sandbox.WriteHistory(std::vector<std::wstring>(8, a.Path()));
    const std::string before = sandbox.SettingsBytes();

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), a.Path());
    EXPECT_EQ(sandbox.SettingsBytes(), before);
    // The fifth entry is the folder shown: nothing to record.
    browser.DropDownHistory();
    ASSERT_TRUE(browser.ChooseFromPopupMenu(5));
    EXPECT_EQ(browser.Folder(), a.Path());
    EXPECT_EQ(sandbox.SettingsBytes(), before);

    ASSERT_TRUE(browser.PickFolder(b.Path()));
    EXPECT_EQ(browser.Folder(), b.Path());
    std::vector<std::wstring> expected(8, a.Path());
    expected[0] = b.Path();
    EXPECT_EQ(sandbox.History(), expected);

    browser.DropDownHistory();
    ASSERT_TRUE(browser.ChooseFromPopupMenu(2));
    EXPECT_EQ(browser.Folder(), a.Path());
    expected[0] = a.Path();
    expected[1] = b.Path();
    EXPECT_EQ(sandbox.History(), expected);
    EXPECT_EQ(browser.Close(), 0u);
}

TEST(HostileSettings, AnUnwritableSettingsFileLeavesTheBrowserWorkingAndTheOldHistoryInPlace)
{
    SettingsSandbox sandbox;
    TempFolder a;
    TempFolder b;
    CopyInto(a.Path(), FixturePath(L"ordinary.sph"), L"a.sph");
    CopyInto(b.Path(), FixturePath(L"ordinary.sph"), L"b.sph");

    // sph.ini is a folder: nothing can be read or written there.
    SHCreateDirectoryExW(nullptr, SettingsSandbox::SettingsFile().c_str(), nullptr);
    sandbox.SetSusieFolder(a.Path());
    {
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), a.Path());
        ASSERT_TRUE(browser.PickFolder(b.Path()));
        EXPECT_EQ(browser.Folder(), b.Path());
        EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"b.sph"));
        EXPECT_EQ(browser.Close(), 0u);
        EXPECT_TRUE(FolderExists(SettingsSandbox::SettingsFile()));
    }

    // Another program holds the file open without sharing writes (an editor, a virus scanner).
    // The read-only attribute would say the same on Windows, but Wine running as root writes
    // through it, so the lock stands in for it.
    sandbox.WriteHistory({a.Path(), b.Path()});
    const std::string before = sandbox.SettingsBytes();
    HANDLE opened = CreateFileW(SettingsSandbox::SettingsFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(opened, INVALID_HANDLE_VALUE);
    {
        handles::UniqueHandle lock(opened);
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), a.Path());
        browser.DropDownHistory();
        ASSERT_TRUE(browser.ChooseFromPopupMenu(2));
        EXPECT_EQ(browser.Folder(), b.Path());
        EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"b.sph"));
        EXPECT_EQ(browser.Close(), 0u);
    }
    EXPECT_EQ(sandbox.SettingsBytes(), before);
}

TEST(HostileFolders, SymbolsScriptsAndSurrogatesSurviveTheMenuTheScanTheHistoryAndARestart)
{
    SettingsSandbox sandbox;
    TempFolder base;
    std::vector<std::wstring> folders;
    for (const std::wstring& name : kHostileNames) {
        folders.push_back(MakeFolder(base, name));
        CopyInto(folders.back(), FixturePath(L"ordinary.sph"), name + L".sph");
    }
    sandbox.WriteHistory(folders);
    FixtureLog log;

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), folders[0]);
    // Each folder once through the history menu, from wherever it stands in the history now.
    for (size_t i = 1; i < folders.size(); ++i) {
        SCOPED_TRACE(Utf8(kHostileNames[i]));
        const std::vector<std::wstring> history = sandbox.History();
        ASSERT_EQ(history.size(), folders.size());
        const auto at = std::find(history.begin(), history.end(), folders[i]);
        ASSERT_NE(at, history.end()) << "lost from the history";
        browser.DropDownHistory();
        ASSERT_TRUE(browser.ChooseFromPopupMenu(static_cast<int>(at - history.begin()) + 1));
        EXPECT_EQ(browser.Folder(), folders[i]);
        const std::wstring file = kHostileNames[i] + L".sph";
        EXPECT_EQ(browser.PluginNames(), std::vector<std::wstring>{file});
        EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(file));
        EXPECT_GE(log.Count(Utf8(kHostileNames[i]) + " info 1"), 1u);
        EXPECT_EQ(sandbox.History().front(), folders[i]);
    }
    EXPECT_EQ(browser.Close(), 0u);
    std::vector<std::wstring> expected(folders.rbegin(), folders.rend() - 1);
    expected.push_back(folders[0]);
    EXPECT_EQ(sandbox.History(), expected);

    RemoteBrowser again;
    ASSERT_NE(again.Dialog(), nullptr);
    EXPECT_EQ(again.Folder(), folders.back());
    EXPECT_EQ(again.Close(), 0u);
}

TEST(HostileFolders, PathsAtTheLengthLimitWorkUpToItAndBeyondItShowNothing)
{
    SettingsSandbox sandbox;
    TempFolder base;
    // Nested folders up to 246 characters, so that "\ordinary.sph" ends at 259, the most a
    // path may hold; a longer file name in the same folder goes past it.
    std::wstring folder = base.Path();
    while (folder.size() < 246) {
        // Each step adds a backslash and a name of 1 to 100 characters; no step may leave one.
        const size_t left = 246 - folder.size();
        folder += L"\\" + std::wstring(left > 101 ? (left == 102 ? 99 : 100) : left - 1, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    ASSERT_EQ(folder.size(), 246u);
    CopyInto(folder, FixturePath(L"ordinary.sph"), L"ordinary.sph");
    const std::wstring tooLong = L"zz-a-file-name-that-goes-past-the-limit.sph";
    ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (L"\\\\?\\" + folder + L"\\" + tooLong).c_str(), FALSE));
    sandbox.WriteHistory({folder});

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), folder);
    ASSERT_EQ(browser.PluginNames(), (std::vector<std::wstring>{L"ordinary.sph", tooLong}));
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"ordinary.sph"));
    browser.SelectPlugin(1);
    EXPECT_TRUE(browser.InfoRows().empty());
    EXPECT_FALSE(browser.Enabled(IDC_SETTINGS));
    browser.SelectPlugin(0);
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"ordinary.sph"));
    EXPECT_EQ(browser.Close(), 0u);
    EXPECT_EQ(sandbox.History(), std::vector<std::wstring>{folder});
    DeleteFileW((L"\\\\?\\" + folder + L"\\" + tooLong).c_str());
}

TEST(HostileFolders, TenThousandPluginsAreAllListedInOrderAndTheLastOneInspects)
{
    SettingsSandbox sandbox;
    // p00000.sph to p09999.sph, all ordinary.sph, made by the build beside the fixtures: made
    // here one Wine call per file, they took half a minute.
    const std::wstring folder = ExecutableDir() + L"\\many-plugins";
    const auto started = std::chrono::steady_clock::now();
    sandbox.WriteHistory({folder});

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    const auto shown = std::chrono::steady_clock::now();
    ASSERT_EQ(browser.PluginCount(), 10000);
    EXPECT_EQ(browser.SelectedPlugin(), 0);
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"p00000.sph"));
    browser.SelectPlugin(9999);
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"p09999.sph"));
    browser.SelectPlugin(5000);
    EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"p05000.sph"));
    EXPECT_EQ(browser.Close(), 0u);
    using ms = std::chrono::milliseconds;
    std::printf("browser up with 10000 plug-in files listed in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<ms>(shown - started).count()));
}

TEST(HostileClipboard, HeldByAnotherProgramTheCopyFailsWithoutABoxAndWorksOnceReleased)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder.Path(), FixturePath(L"ordinary.sph"), L"ordinary.sph");
    sandbox.WriteHistory({folder.Path()});
    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);

    ClipboardHolder holder(L"held by another program");
    ASSERT_TRUE(holder.Held());
    browser.Click(IDC_COPY_ALL_EXT);
    EXPECT_FALSE(browser.ShowsMessageBox()) << "a copy that failed was confirmed";
    EXPECT_TRUE(browser.Running());
    EXPECT_EQ(holder.Release(), 0u);
    EXPECT_EQ(ReadClipboardText().text, L"held by another program");

    browser.Click(IDC_COPY_ALL_EXT);
    const MessageBoxView box = browser.WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.text, L"拡張子群をクリップボードにコピーしました。");
    EXPECT_EQ(ReadClipboardText().text, L"*.abc;*.def;*.deg;*.ghi");
    DismissMessageBox(box.window);
    EXPECT_EQ(browser.Close(), 0u);
}
