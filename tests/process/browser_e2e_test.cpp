// Plexmoor2.exe as a user meets it: started with a prepared settings file and registry value,
// driven and read from outside the process through its windows, closed and started again.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fixture_log.h"
#include "remote_browser.h"
#include "scratch.h"
#include "system_needs.h"
#include "resource.h"

namespace {


const wchar_t kFileNameRow[] = L"ファイル名";
const wchar_t kAboutRow[] = L"About";
const wchar_t kApiRow[] = L"APIバージョン";

std::wstring SamplesDir() { return ExecutableDir() + L"\\samples"; }

std::wstring CopyInto(const TempFolder& folder, const std::wstring& source, const std::wstring& name)
{
    const std::wstring target = folder / name;
    EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << Utf8(target);
    return target;
}

const std::vector<Row> kOrdinaryTypes = {
    {L"*.abc", L"ABC image"}, {L"*.def;*.deg", L"DEF image"}, {L"*.ghi", L"GHI image"}};

bool StartsWith(const std::wstring& text, const std::wstring& head) { return text.compare(0, head.size(), head) == 0; }
bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What the browser must show for one plug-in file.
struct Expected {
    bool loads = true;
    bool info = true;        // GetPluginInfo exported: About and API rows present
    bool configurable = true;
    std::function<bool(const std::wstring&)> about;
    std::vector<Row> types;
    std::function<bool(const std::vector<Row>&)> typesMatch;  // instead of types
};

Expected Ordinary()
{
    Expected e;
    e.about = [](const std::wstring& t) { return t == L"Plexmoor test fixture 1.0"; };
    e.types = kOrdinaryTypes;
    return e;
}

Expected Unloadable()
{
    Expected e;
    e.loads = false;
    e.info = false;
    e.configurable = false;
    return e;
}

Expected WithAbout(std::function<bool(const std::wstring&)> about)
{
    Expected e = Ordinary();
    e.about = std::move(about);
    return e;
}

// A text of exactly the 4094 bytes the plug-in may write, whatever count it claimed.
std::function<bool(const std::wstring&)> Full4094(const std::wstring& head, bool endMark)
{
    return [head, endMark](const std::wstring& t) {
        return t.size() == 4094 && StartsWith(t, head) && (!endMark || EndsWith(t, L"END"));
    };
}

std::map<std::wstring, Expected> FixtureExpectations()
{
    std::map<std::wstring, Expected> m;
    for (const wchar_t* name : {L"ordinary.sph", L"result0.sph", L"result1.sph", L"result2.sph", L"result_1.sph",
                                L"result_11.sph", L"selfclosing.sph"}) {
        m[name] = Ordinary();
    }
    for (const wchar_t* name : {L"notalib.sph", L"truncated.sph", L"win32.sph", L"refuses.sph"}) m[name] = Unloadable();
    m[L"infoonly.sph"] = Ordinary();
    m[L"infoonly.sph"].configurable = false;
    for (const wchar_t* name : {L"configonly.sph", L"plainlib.sph"}) {
        Expected e;
        e.info = false;
        m[name] = e;
    }
    m[L"gappy.sph"] = Ordinary();
    m[L"gappy.sph"].types = {kOrdinaryTypes[0], kOrdinaryTypes[1]};
    m[L"halfpairs.sph"] = Ordinary();
    m[L"halfpairs.sph"].types = {{L"*.abc", L""}, {L"", L"DEF image"}, kOrdinaryTypes[2]};
    m[L"types40.sph"] = Ordinary();
    m[L"types40.sph"].typesMatch = [](const std::vector<Row>& rows) {
        if (rows.size() != 32) return false;
        for (int k = 3; k < 32; ++k) {
            if (rows[static_cast<size_t>(k)] != Row(L"*.t" + std::to_wstring(k), L"Type " + std::to_wstring(k) + L" image")) {
                return false;
            }
        }
        return true;
    };
    m[L"shiftjis.sph"] = WithAbout([](const std::wstring& t) { return t == L"テスト用プラグイン"; });
    m[L"shiftjis.sph"].types = {{L"*.sjb", L"ビットマップ画像"}, {L"*.sjh;*.sjk", L"表計算ソフト画像"}};
    // Malformed bytes become some replacement character; what matters is that the text
    // around them survives and that an embedded zero ends what the list shows.
    m[L"invalidsjis.sph"] = WithAbout([](const std::wstring& t) {
        return StartsWith(t, L"Invalid ") && EndsWith(t, L"lead byte") && t.size() <= 20;
    });
    m[L"invalidsjis.sph"].typesMatch = [](const std::vector<Row>& rows) {
        return rows.size() == 3 && rows[0].first == L"*.iv1" && StartsWith(rows[0].second, L"Lone ") &&
               EndsWith(rows[0].second, L" byte") && rows[1] == Row(L"*.iv2", L"Zero") &&
               rows[2].first == L"*.iv3" && StartsWith(rows[2].second, L"Ends in lead") && rows[2].second.size() <= 14;
    };
    m[L"long4094.sph"] = WithAbout(Full4094(L"Long about text: ", true));
    m[L"count4095.sph"] = WithAbout(Full4094(L"Count 4095: ", true));
    m[L"huge.sph"] = WithAbout(Full4094(L"Huge count: ", true));
    m[L"negative.sph"] = WithAbout([](const std::wstring& t) { return t.empty(); });
    return m;
}

// The text of the selected entry of the plug-in list, empty when none is.
std::wstring SelectedName(const RemoteBrowser& browser)
{
    const std::vector<std::wstring> names = browser.PluginNames();
    const int index = browser.SelectedPlugin();
    return index >= 0 && index < static_cast<int>(names.size()) ? names[static_cast<size_t>(index)] : std::wstring();
}

// Compares what the browser shows for the selected plug-in with what is expected of it.
void ExpectView(const RemoteBrowser& browser, const std::wstring& name, const Expected& e)
{
    SCOPED_TRACE(Utf8(name));
    const std::vector<Row> info = browser.InfoRows();
    const std::vector<Row> types = browser.TypeRows();
    if (!e.loads) {
        EXPECT_TRUE(info.empty());
        EXPECT_TRUE(types.empty());
    } else {
        ASSERT_EQ(info.size(), e.info ? 3u : 1u);
        EXPECT_EQ(info[0], Row(kFileNameRow, name));
        if (e.info) {
            EXPECT_EQ(info[1].first, kAboutRow);
            EXPECT_TRUE(e.about(info[1].second)) << "about text: " << Utf8(info[1].second.substr(0, 80));
            EXPECT_EQ(info[2], Row(kApiRow, L"00IN"));
        }
        if (e.typesMatch) {
            EXPECT_TRUE(e.typesMatch(types)) << types.size() << " type rows";
        } else if (e.info) {
            EXPECT_EQ(types, e.types);
        } else {
            EXPECT_TRUE(types.empty());
        }
    }
    EXPECT_EQ(browser.SelectedTypeRow(), types.empty() ? -1 : 0);
    EXPECT_EQ(browser.Enabled(IDC_SETTINGS), e.configurable);
    EXPECT_EQ(browser.Enabled(IDC_ABOUT), e.configurable);
}

}  // namespace

TEST(FirstStart, WithoutSettingsOrRegistryOpensItsOwnFolderAndRecordsIt)
{
    SettingsSandbox sandbox;
    // As on a first start: no settings folder either (nor its parent, when nothing else is in it).
    RemoveDirectoryW(SettingsSandbox::SettingsFolder().c_str());
    RemoveDirectoryW(SettingsSandbox::SettingsFolder().substr(0, SettingsSandbox::SettingsFolder().rfind(L'\\')).c_str());
    ASSERT_FALSE(FolderExists(SettingsSandbox::SettingsFolder()));

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr) << "the main dialog never appeared";
    EXPECT_EQ(TextOf(browser.Dialog()), L"Plexmoor2");
    EXPECT_EQ(browser.Folder(), ExecutableDir());
    // The build's bin folder holds programs only; the plug-ins live in subfolders.
    EXPECT_EQ(browser.PluginCount(), 0);
    EXPECT_EQ(browser.SelectedPlugin(), LB_ERR);
    EXPECT_TRUE(browser.InfoRows().empty());
    EXPECT_TRUE(browser.TypeRows().empty());
    EXPECT_FALSE(browser.Enabled(IDC_SETTINGS));
    EXPECT_FALSE(browser.Enabled(IDC_ABOUT));

    EXPECT_EQ(browser.Close(), 0u);
    EXPECT_TRUE(FileExists(SettingsSandbox::SettingsFile()));
    EXPECT_EQ(sandbox.History(), std::vector<std::wstring>{ExecutableDir()});
}

TEST(FirstStart, TakesSusiesRegistryFolderShowsEverySampleAndNeverWritesTheRegistry)
{
    // Sample and fixture plug-ins answer in Shift-JIS.
    SKIP_WITHOUT_JAPANESE_CODE_PAGE();
    SettingsSandbox sandbox;
    sandbox.SetSusieFolder(SamplesDir());

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), SamplesDir());
    const std::vector<std::wstring> expectedNames = {L"dotart.sph", L"pngfu.sph", L"textimage.sph"};
    ASSERT_EQ(browser.PluginNames(), expectedNames);
    EXPECT_EQ(browser.SelectedPlugin(), 0);

    struct Sample {
        std::wstring about;
        std::vector<Row> types;
    };
    const Sample samples[] = {
        {L"ドット絵サンプル プラグイン 1.0 (C) 2024 Plexmoor",
         {{L"*.dot8", L"ドット絵 (8色)"}, {L"*.dot16;*.d16", L"ドット絵 (16色)"}, {L"*.dta", L"ドット絵アニメーション"}}},
        {L"PNG風サンプル プラグイン 1.0 (C) 2024 Plexmoor",
         {{L"*.pnf;*.apnf", L"PNG風画像"}, {L"*.pnz", L"PNG風圧縮画像"}, {L"*.pnl", L"PNG風レイヤー画像"}}},
        {L"テキスト画像サンプル プラグイン 1.0 (C) 2024 Plexmoor",
         {{L"*.txi", L"テキスト画像"}, {L"*.aa;*.aai", L"アスキーアート画像"}, {L"*.sjt", L"シフトJIS文字画像"}}},
    };
    // The first is shown from the start-up scan; the others after a selection, and then the
    // first again, which a selection back must rebuild.
    for (int index : {0, 1, 2, 0}) {
        if (index != 0 || browser.SelectedPlugin() != 0) browser.SelectPlugin(index);
        SCOPED_TRACE(index);
        EXPECT_EQ(browser.SelectedPlugin(), index);
        Expected e;
        const std::wstring about = samples[index].about;
        e.about = [about](const std::wstring& t) { return t == about; };
        e.types = samples[index].types;
        ExpectView(browser, expectedNames[static_cast<size_t>(index)], e);
    }

    EXPECT_EQ(browser.Close(), 0u);
    EXPECT_EQ(sandbox.SusieFolder(), SamplesDir());
    EXPECT_EQ(sandbox.History(), std::vector<std::wstring>{SamplesDir()});
}

TEST(PluginView, EveryFixtureShowsWhatItReportsAndEveryLoadIsFreed)
{
    // Sample and fixture plug-ins answer in Shift-JIS.
    SKIP_WITHOUT_JAPANESE_CODE_PAGE();
    SettingsSandbox sandbox;
    sandbox.WriteHistory({FixturesDir()});
    const std::map<std::wstring, Expected> expectations = FixtureExpectations();
    FixtureLog log;

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), FixturesDir());
    const std::vector<std::wstring> names = browser.PluginNames();
    // The folder named folder.sph is not listed; every file is.
    std::vector<std::wstring> sortedExpected;
    for (const auto& entry : expectations) sortedExpected.push_back(entry.first);
    std::vector<std::wstring> sortedNames = names;
    std::sort(sortedNames.begin(), sortedNames.end());
    EXPECT_EQ(sortedNames, sortedExpected);
    // The list box sorts without regard to case, as the system compares texts.
    for (size_t i = 1; i < names.size(); ++i) {
        EXPECT_LE(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names[i - 1].c_str(), -1, names[i].c_str(), -1),
                  CSTR_EQUAL)
            << Utf8(names[i - 1]) << " before " << Utf8(names[i]);
    }
    ASSERT_EQ(browser.SelectedPlugin(), 0);

    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) browser.SelectPlugin(static_cast<int>(i));
        ASSERT_TRUE(browser.Running()) << "died on " << Utf8(names[i]);
        EXPECT_EQ(browser.SelectedPlugin(), static_cast<int>(i));
        const auto expected = expectations.find(names[i]);
        if (expected == expectations.end()) continue;
        ExpectView(browser, names[i], expected->second);
    }
    // Nothing of a broken file showed a box: the browser answers only with silence.
    EXPECT_FALSE(browser.ShowsMessageBox());
    // Every load was released before the next user action, while the browser still runs (its
    // exit would release them all anyway).
    for (const auto& entry : expectations) {
        const std::string stem = Utf8(entry.first.substr(0, entry.first.size() - 4));
        if (stem == "refuses") continue;
        EXPECT_EQ(log.Count(stem + " attach "), log.Count(stem + " detach ")) << stem;
    }
    // Scans and plug-ins meeting a drive without media get a failed call, not the system's box.
    EXPECT_EQ(log.ErrorModeAtAttach("ordinary") & SEM_FAILCRITICALERRORS, SEM_FAILCRITICALERRORS);
    for (const std::wstring& module : LoadedModules(browser.Process().Id())) {
        EXPECT_EQ(module.find(FixturesDir()), std::wstring::npos) << Utf8(module);
    }
    EXPECT_EQ(browser.Close(), 0u);
    // No GetPluginInfo call beyond the 32 types of types40 (numbers 2 to 65).
    EXPECT_EQ(log.Count("types40 info 66"), 0u);
    EXPECT_EQ(log.Count("gappy info 8"), 0u);
}

TEST(PluginDialogs, SettingsAndAboutOpenOverTheDisabledBrowserAndRefreshTheView)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder, FixturePath(L"selfclosing.sph"), L"selfclosing.sph");
    sandbox.WriteHistory({folder.Path()});
    FixtureLog log;

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    ASSERT_TRUE(browser.Enabled(IDC_SETTINGS));
    const std::string dialog = HandleText(browser.Dialog());
    const struct {
        int button;
        const char* function;
    } presses[] = {{IDC_SETTINGS, "1"}, {IDC_ABOUT, "0"}};
    for (const auto& press : presses) {
        SCOPED_TRACE(press.function);
        log.Clear();
        browser.Click(press.button);
        ASSERT_TRUE(log.WaitFor("selfclosing owner ", 1, 10000));
        ASSERT_TRUE(log.WaitFor("selfclosing detach ", 1, 10000));
        browser.Settle();
        EXPECT_EQ(log.Matching("selfclosing config "),
                  std::vector<std::string>{std::string("selfclosing config ") + press.function + " " + dialog});
        const std::vector<std::string> owners = log.Matching("selfclosing owner ");
        ASSERT_EQ(owners.size(), 1u);
        // The browser's dialog is the owner, shown but disabled while the plug-in's dialog runs.
        EXPECT_EQ(owners[0].rfind("selfclosing owner " + dialog + " same=1 visible=1 enabled=0 ", 0), 0u)
            << owners[0];
        // Result 0: the view is read again from the plug-in, and nothing is said.
        EXPECT_GE(log.Count("selfclosing info 1"), 1u);
        EXPECT_EQ(log.Count("selfclosing attach "), log.Count("selfclosing detach "));
        ExpectView(browser, L"selfclosing.sph", Ordinary());
        EXPECT_TRUE(IsWindowEnabled(browser.Dialog()));
        EXPECT_FALSE(browser.ShowsMessageBox());
    }
    EXPECT_EQ(browser.Close(), 0u);
}

TEST(ClipboardExport, CopyAllConfirmsInABoxOwnedByTheBrowserAndLeavesTheJoinedPatterns)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    CopyInto(folder, FixturePath(L"ordinary.sph"), L"a.sph");
    CopyInto(folder, FixturePath(L"shiftjis.sph"), L"b.sph");
    sandbox.WriteHistory({folder.Path()});
    ASSERT_TRUE(WriteClipboardText(L"before"));

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    const struct {
        int plugin;
        const wchar_t* joined;
    } cases[] = {{0, L"*.abc;*.def;*.deg;*.ghi"}, {1, L"*.sjb;*.sjh;*.sjk"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin);
        browser.SelectPlugin(c.plugin);
        browser.Click(IDC_COPY_ALL_EXT);
        const MessageBoxView box = browser.WaitForMessageBox();
        ASSERT_NE(box.window, nullptr) << "no confirmation";
        EXPECT_EQ(box.text, L"拡張子群をクリップボードにコピーしました。");
        EXPECT_EQ(box.caption, L"Plexmoor2");
        EXPECT_EQ(box.owner, browser.Dialog());
        // The clipboard is closed before the box opens: it can be read while the box is up.
        const ClipboardContent content = ReadClipboardText();
        EXPECT_TRUE(content.ok);
        EXPECT_EQ(content.text, c.joined);
        DismissMessageBox(box.window);
        browser.Settle();
        EXPECT_TRUE(browser.Running());
        EXPECT_FALSE(browser.ShowsMessageBox());
    }
    EXPECT_EQ(browser.Close(), 0u);
    // Data placed by the browser outlives it.
    EXPECT_EQ(ReadClipboardText().text, L"*.sjb;*.sjh;*.sjk");
}

TEST(FolderHistory, MenuOfEightPicksTheThirdPickerAddsANinthAndRestartsFindTheLastFolder)
{
    SettingsSandbox sandbox;
    std::vector<TempFolder> folders(9);
    std::vector<std::wstring> paths;
    for (size_t i = 0; i < folders.size(); ++i) {
        CopyInto(folders[i], FixturePath(L"ordinary.sph"), L"plugin" + std::to_wstring(i + 1) + L".sph");
        paths.push_back(folders[i].Path());
    }
    sandbox.WriteHistory({paths.begin(), paths.begin() + 8});
    const std::string before = sandbox.SettingsBytes();

    {
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), paths[0]);
        EXPECT_EQ(browser.PluginNames(), std::vector<std::wstring>{L"plugin1.sph"});
        // Starting in entry 1 writes nothing.
        EXPECT_EQ(sandbox.SettingsBytes(), before);

        // Dismissed: nothing changes.
        browser.DropDownHistory();
        ASSERT_TRUE(browser.ChooseFromPopupMenu(0)) << "no history menu";
        EXPECT_EQ(browser.Folder(), paths[0]);
        EXPECT_EQ(sandbox.SettingsBytes(), before);

        browser.DropDownHistory();
        ASSERT_TRUE(browser.ChooseFromPopupMenu(3));
        EXPECT_EQ(browser.Folder(), paths[2]);
        EXPECT_EQ(browser.PluginNames(), std::vector<std::wstring>{L"plugin3.sph"});
        ExpectView(browser, L"plugin3.sph", Ordinary());
        EXPECT_EQ(sandbox.History(), (std::vector<std::wstring>{paths[2], paths[0], paths[1], paths[3], paths[4],
                                                                 paths[5], paths[6], paths[7]}));
        EXPECT_EQ(browser.Close(), 0u);
    }
    {
        RemoteBrowser browser;
        ASSERT_NE(browser.Dialog(), nullptr);
        EXPECT_EQ(browser.Folder(), paths[2]);
        ASSERT_TRUE(browser.PickFolder(paths[8])) << "no folder picker";
        EXPECT_EQ(browser.Folder(), paths[8]);
        EXPECT_EQ(browser.PluginNames(), std::vector<std::wstring>{L"plugin9.sph"});
        // The oldest entry gives way.
        EXPECT_EQ(sandbox.History(), (std::vector<std::wstring>{paths[8], paths[2], paths[0], paths[1], paths[3],
                                                                 paths[4], paths[5], paths[6]}));
        EXPECT_EQ(browser.Close(), 0u);
    }
    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(browser.Folder(), paths[8]);
    EXPECT_EQ(browser.Close(), 0u);
}

TEST(DropAndRefresh, ADroppedFileOrFolderIsOpenedAndF5ListsTheFolderAgainKeepingTheSelectionByName)
{
    // Sample and fixture plug-ins answer in Shift-JIS.
    SKIP_WITHOUT_JAPANESE_CODE_PAGE();
    using Names = std::vector<std::wstring>;
    SettingsSandbox sandbox;
    TempFolder start, first, second;
    CopyInto(start, FixturePath(L"ordinary.sph"), L"start.sph");
    CopyInto(first, FixturePath(L"ordinary.sph"), L"a.sph");
    const std::wstring dropped = CopyInto(first, FixturePath(L"shiftjis.sph"), L"b.sph");
    CopyInto(second, FixturePath(L"ordinary.sph"), L"c1.sph");
    CopyInto(second, FixturePath(L"ordinary.sph"), L"c2.sph");
    sandbox.WriteHistory({start.Path()});
    const Expected shiftJis = FixtureExpectations().at(L"shiftjis.sph");
    FixtureLog log;

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_TRUE(GetWindowLongW(browser.Dialog(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    // A file, with a folder after it that does not count: the file's folder, the file selected.
    ASSERT_TRUE(browser.Drop({dropped, second.Path()}));
    EXPECT_EQ(browser.Folder(), first.Path());
    EXPECT_EQ(browser.PluginNames(), (Names{L"a.sph", L"b.sph"}));
    EXPECT_EQ(SelectedName(browser), L"b.sph");
    ExpectView(browser, L"b.sph", shiftJis);
    EXPECT_EQ(sandbox.History(), (Names{first.Path(), start.Path()}));

    // A path that is not there changes nothing.
    ASSERT_TRUE(browser.Drop({first / L"gone.sph"}));
    EXPECT_EQ(browser.Folder(), first.Path());
    EXPECT_EQ(SelectedName(browser), L"b.sph");

    // A folder: its first entry selected, the folder recorded first.
    ASSERT_TRUE(browser.Drop({second.Path()}));
    EXPECT_EQ(browser.Folder(), second.Path());
    EXPECT_EQ(browser.PluginNames(), (Names{L"c1.sph", L"c2.sph"}));
    EXPECT_EQ(SelectedName(browser), L"c1.sph");
    ExpectView(browser, L"c1.sph", Ordinary());
    EXPECT_EQ(sandbox.History(), (Names{second.Path(), first.Path(), start.Path()}));

    // F5 after a plug-in was added ahead of the selected one: the selection follows its name and
    // the plug-in is read again.
    browser.SelectPlugin(1);
    CopyInto(second, FixturePath(L"shiftjis.sph"), L"c0.sph");
    log.Clear();
    // Held down, the key repeats (bit 30 set): the repeats list nothing and load nothing.
    PostMessageW(browser.Item(IDC_PLUGIN_LIST), WM_KEYDOWN, VK_F5, 1 | (1 << 30));
    browser.Settle();
    EXPECT_EQ(browser.PluginNames(), (Names{L"c1.sph", L"c2.sph"}));
    EXPECT_TRUE(log.Lines().empty());
    browser.PressKey(IDC_PLUGIN_LIST, VK_F5);
    EXPECT_EQ(browser.PluginNames(), (Names{L"c0.sph", L"c1.sph", L"c2.sph"}));
    EXPECT_EQ(SelectedName(browser), L"c2.sph");
    ExpectView(browser, L"c2.sph", Ordinary());
    EXPECT_EQ(log.Count("c2 info 1"), 1u);

    // F5 from another control after the selected file went: the first entry, as a scan selects.
    RemovePath(second / L"c2.sph");
    browser.PressKey(IDC_TYPE_LIST, VK_F5);
    EXPECT_EQ(browser.PluginNames(), (Names{L"c0.sph", L"c1.sph"}));
    EXPECT_EQ(SelectedName(browser), L"c0.sph");
    ExpectView(browser, L"c0.sph", shiftJis);
    EXPECT_EQ(sandbox.History(), (Names{second.Path(), first.Path(), start.Path()}));
    EXPECT_EQ(browser.Close(), 0u);
}
