#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "fixture_log.h"
#include "handles.h"
#include "inspect.h"
#include "intercept.h"
#include "plugin.h"
#include "plugin_info.h"
#include "resource.h"
#include "scratch.h"
#include "system_needs.h"
#include "test_browser_dialog.h"

namespace {

// Indexes of the rows that carry the selected state.
std::vector<int> SelectedRows(const TestBrowserDialog& dialog, int id)
{
    std::vector<int> selected;
    const int count = static_cast<int>(SendMessageW(dialog.Item(id), LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        if (SendMessageW(dialog.Item(id), LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) selected.push_back(row);
    }
    return selected;
}

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

const std::wstring kFileNameLabel = L"ファイル名";
const std::wstring kAboutLabel = L"About";
const std::wstring kVersionLabel = L"APIバージョン";

class Inspection : public testing::Test {
protected:
    void Show(const std::wstring& fixture) { dialog.ShowEntry(FixturesDir(), fixture); }
    void Inspect(const std::wstring& fixture)
    {
        Show(fixture);
        InspectSelectedPlugin(dialog.get());
    }
    // The information numbers asked of one fixture, in the order asked.
    std::vector<int> NumbersAsked(const std::string& fixture) const
    {
        std::vector<int> numbers;
        for (const std::string& line : log.Matching(fixture + " info ")) {
            numbers.push_back(std::stoi(line.substr(fixture.size() + 6)));
        }
        return numbers;
    }
    void ExpectEmptyView() const
    {
        EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty());
        EXPECT_TRUE(dialog.Rows(IDC_TYPE_LIST).empty());
        EXPECT_FALSE(dialog.Enabled(IDC_SETTINGS));
        EXPECT_FALSE(dialog.Enabled(IDC_ABOUT));
    }
    void ClearInfoList() const { SendMessageW(dialog.Item(IDC_INFO_LIST), LVM_DELETEALLITEMS, 0, 0); }

    FixtureLog log;
    UiIntercept ui;
    TestBrowserDialog dialog;
};

// What PluginInfoText makes of one answer, straight from the fixture's own export.
std::wstring InfoTextOf(const std::wstring& fixture, int number)
{
    handles::UniqueLibrary library(LoadLibraryW(FixturePath(fixture).c_str()));
    if (!library) return L"<not loaded>";
    const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
    return getPluginInfo ? PluginInfoText(getPluginInfo, number) : L"<no export>";
}

TEST_F(Inspection, OrdinaryPluginShowsItsFactsAndTypesWithTheFirstTypeSelected)
{
    ASSERT_NE(dialog.get(), nullptr);
    Inspect(L"ordinary.sph");

    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (Rows{{kFileNameLabel, L"ordinary.sph"},
                                                {kAboutLabel, L"Plexmoor test fixture 1.0"},
                                                {kVersionLabel, L"00IN"}}));
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST),
              (Rows{{L"*.abc", L"ABC image"}, {L"*.def;*.deg", L"DEF image"}, {L"*.ghi", L"GHI image"}}));
    EXPECT_EQ(SelectedRows(dialog, IDC_TYPE_LIST), std::vector<int>{0});
    EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
    EXPECT_TRUE(dialog.Enabled(IDC_ABOUT));
    // About before version, then pairs until the first empty one (8, 9).
    EXPECT_EQ(NumbersAsked("ordinary"), (std::vector<int>{1, 0, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(log.Count("ordinary attach"), 1u);
    EXPECT_FALSE(IsLoaded(FixturePath(L"ordinary.sph")));
    EXPECT_TRUE(ui.Beeps().empty());
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(Inspection, ButtonsAndRowsFollowTheExportsOfEachPlugin)
{
    // Each case starts from a full view, so that anything left over from it would show.
    Inspect(L"ordinary.sph");
    Inspect(L"infoonly.sph");
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    EXPECT_FALSE(dialog.Enabled(IDC_SETTINGS));
    EXPECT_FALSE(dialog.Enabled(IDC_ABOUT));

    for (const wchar_t* settingsOnly : {L"configonly.sph", L"plainlib.sph"}) {
        SCOPED_TRACE(testing::Message() << "fixture " << std::wstring(settingsOnly).c_str());
        Inspect(L"ordinary.sph");
        Inspect(settingsOnly);
        EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (Rows{{kFileNameLabel, settingsOnly}}));
        EXPECT_TRUE(dialog.Rows(IDC_TYPE_LIST).empty());
        EXPECT_TRUE(SelectedRows(dialog, IDC_TYPE_LIST).empty());
        EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
        EXPECT_TRUE(dialog.Enabled(IDC_ABOUT));
        EXPECT_FALSE(IsLoaded(FixturePath(settingsOnly)));
    }
}

TEST_F(Inspection, FilesThatDoNotLoadLeaveAnEmptyViewSilently)
{
    for (const wchar_t* broken : {L"notalib.sph", L"win32.sph", L"truncated.sph", L"refuses.sph", L"absent.sph"}) {
        SCOPED_TRACE(testing::Message() << "fixture " << std::wstring(broken).c_str());
        Inspect(L"ordinary.sph");
        Inspect(broken);
        ExpectEmptyView();
        EXPECT_FALSE(IsLoaded(FixturePath(broken)));
    }
    EXPECT_TRUE(ui.Beeps().empty());
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(Inspection, NoSelectionEmptiesTheViewAndLoadsNothing)
{
    Inspect(L"ordinary.sph");
    log.Clear();
    SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    InspectSelectedPlugin(dialog.get());
    ExpectEmptyView();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(ui.Beeps().empty());
}

TEST_F(Inspection, OnlyAPairWithBothHalvesEmptyEndsTheTypesAndLaterTypesAreNeverAsked)
{
    Inspect(L"gappy.sph");
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST), (Rows{{L"*.abc", L"ABC image"}, {L"*.def;*.deg", L"DEF image"}}));
    EXPECT_EQ(NumbersAsked("gappy"), (std::vector<int>{1, 0, 2, 3, 4, 5, 6, 7}));

    // Numbers 3 and 4 answer nothing: a pattern without a name, then a name without a pattern.
    Inspect(L"halfpairs.sph");
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST), (Rows{{L"*.abc", L""}, {L"", L"DEF image"}, {L"*.ghi", L"GHI image"}}));
    EXPECT_EQ(NumbersAsked("halfpairs"), (std::vector<int>{1, 0, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(Inspection, AtMostThirtyTwoTypesAreAskedAndShown)
{
    Inspect(L"types40.sph");
    const Rows types = dialog.Rows(IDC_TYPE_LIST);
    ASSERT_EQ(types.size(), 32u);
    EXPECT_EQ(types.back(), std::make_pair(std::wstring(L"*.t31"), std::wstring(L"Type 31 image")));
    EXPECT_EQ(SelectedRows(dialog, IDC_TYPE_LIST), std::vector<int>{0});
    const std::vector<int> asked = NumbersAsked("types40");
    EXPECT_EQ(asked.size(), 66u);
    EXPECT_EQ(*std::max_element(asked.begin(), asked.end()), 65);
}

// Also run in a build of this program whose ANSI code page is UTF-8, where plug-ins written for
// Japanese Windows still answer in Shift-JIS.
TEST_F(Inspection, ShiftJisAnswersAreShownAsJapanese)
{
#ifdef PLEXMOOR_TEST_UTF8_CODE_PAGE
    ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "the manifest's code page is not in force";
#else
    SKIP_WITHOUT_JAPANESE_CODE_PAGE();
#endif
    Inspect(L"shiftjis.sph");
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST)[1], std::make_pair(kAboutLabel, std::wstring(L"テスト用プラグイン")));
    // 表 and ソ end in the byte of a backslash; a byte-wise reading would split them.
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST),
              (Rows{{L"*.sjb", L"ビットマップ画像"}, {L"*.sjh;*.sjk", L"表計算ソフト画像"}}));
}

TEST_F(Inspection, ByteCountsBeyondTheBufferOrBelowOneAreHarmless)
{
    const std::wstring full = InfoTextOf(L"long4094.sph", 1);
    EXPECT_EQ(full.size(), 4094u);
    EXPECT_EQ(full.substr(full.size() - 3), L"END");

    // A count of 4095 for 4094 bytes written, and a count of a million: only what was offered.
    const std::wstring over = InfoTextOf(L"count4095.sph", 1);
    EXPECT_EQ(over.size(), 4094u);
    EXPECT_EQ(over.substr(over.size() - 3), L"END");
    EXPECT_EQ(InfoTextOf(L"huge.sph", 1).size(), 4094u);
    EXPECT_EQ(InfoTextOf(L"negative.sph", 1), L"");

    Inspect(L"negative.sph");
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST),
              (Rows{{kFileNameLabel, L"negative.sph"}, {kAboutLabel, L""}, {kVersionLabel, L"00IN"}}));
    Inspect(L"huge.sph");
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
}

TEST_F(Inspection, MalformedAnsiTextIsConvertedByItsByteCount)
{
    // The count covers a zero byte and what follows it: all of it is kept.
    EXPECT_EQ(InfoTextOf(L"invalidsjis.sph", 5), std::wstring(L"Zero\0inside", 11));
    EXPECT_EQ(InfoTextOf(L"invalidsjis.sph", 7).compare(0, 13, L"Ends in lead "), 0);
    EXPECT_EQ(InfoTextOf(L"invalidsjis.sph", 1).compare(0, 8, L"Invalid "), 0);

    Inspect(L"invalidsjis.sph");
    const Rows types = dialog.Rows(IDC_TYPE_LIST);
    ASSERT_EQ(types.size(), 3u);
    EXPECT_EQ(types[1], std::make_pair(std::wstring(L"*.iv2"), std::wstring(L"Zero")));
}

TEST(PluginTexts, UnderTheUtf8CodePageOnlyTextsThatAreNotUtf8AreReadAsShiftJis)
{
    const std::string shiftJis = "\x83\x65\x83\x58\x83\x67\x97\x70";
    const std::string utf8 = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE7\x94\xA8";
    const auto wide = [](const std::string& bytes, UINT codePage) {
        return PluginTextToWide(bytes.data(), static_cast<int>(bytes.size()), codePage);
    };
    EXPECT_EQ(wide(shiftJis, CP_UTF8), L"テスト用");
    EXPECT_EQ(wide(utf8, CP_UTF8), L"テスト用");
    EXPECT_EQ(wide(std::string("Zero\0inside", 11), CP_UTF8), std::wstring(L"Zero\0inside", 11));
    // Any other code page reads every text as before, UTF-8 bytes included.
    EXPECT_EQ(wide(shiftJis, 932), L"テスト用");
    EXPECT_NE(wide(utf8, 932), L"テスト用");
}

// What a thread runs with: 0 unaware, 1 system, 2 per monitor, as the fixtures log it.
int ThreadAwareness()
{
    typedef HANDLE(WINAPI * GetContextFn)();
    typedef int(WINAPI * AwarenessOfFn)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto getContext = GetPluginExport<GetContextFn>(user32, "GetThreadDpiAwarenessContext");
    const auto awarenessOf = GetPluginExport<AwarenessOfFn>(user32, "GetAwarenessFromDpiAwarenessContext");
    return getContext && awarenessOf ? awarenessOf(getContext()) : -1;
}

TEST_F(Inspection, PluginCodeRunsDpiUnawareAndTheBrowserGetsItsOwnAwarenessBack)
{
    const int own = ThreadAwareness();
    ASSERT_GT(own, 0) << "the test program is not DPI-aware: nothing to tell apart";
    dialog.ShowEntry(FixturesDir() + L"\\calls", L"awareness.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(ThreadAwareness(), own);
    OpenPluginDialog(dialog.get(), 1);
    EXPECT_EQ(ThreadAwareness(), own);

    // Load, every question, the settings call, the refill and each free.
    std::size_t calls = 0;
    for (const char* call : {"attach ", "info ", "config ", "detach "}) calls += log.Count(std::string("awareness ") + call);
    EXPECT_EQ(log.Count("awareness config "), 1u);
    EXPECT_EQ(log.Count("awareness detach "), 2u);
    EXPECT_EQ(log.Matching("awareness awareness "), std::vector<std::string>(calls, "awareness awareness 0"));
}

TEST_F(Inspection, SettingsThatSucceedRefillTheViewSilentlyWithTheLibraryLoadedOnce)
{
    Inspect(L"result0.sph");
    ClearInfoList();
    log.Clear();
    OpenPluginDialog(dialog.get(), 1);

    EXPECT_EQ(log.Matching("result0 config "), std::vector<std::string>{"result0 config 1 " + HandleText(dialog.get())});
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_TRUE(ui.Beeps().empty());
    // The refill reuses the library that the dialog call holds.
    EXPECT_EQ(log.Count("result0 attach"), 1u);
    EXPECT_EQ(log.Count("result0 detach"), 1u);
    EXPECT_FALSE(IsLoaded(FixturePath(L"result0.sph")));

    log.Clear();
    OpenPluginDialog(dialog.get(), 0);
    EXPECT_EQ(log.Matching("result0 config "), std::vector<std::string>{"result0 config 0 " + HandleText(dialog.get())});
}

TEST_F(Inspection, SettingsThatFailRefillTheViewAndBeepOnce)
{
    for (const wchar_t* failing : {L"result1.sph", L"result2.sph", L"result_11.sph"}) {
        SCOPED_TRACE(testing::Message() << "fixture " << std::wstring(failing).c_str());
        Inspect(failing);
        ClearInfoList();
        ui.Clear();
        OpenPluginDialog(dialog.get(), 1);
        EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
        EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
        EXPECT_TRUE(ui.MessageBoxes().empty());
        EXPECT_FALSE(IsLoaded(FixturePath(failing)));
    }
}

TEST_F(Inspection, SettingsNotImplementedBeepsWithoutRefill)
{
    Inspect(L"result_1.sph");
    ClearInfoList();
    OpenPluginDialog(dialog.get(), 0);
    EXPECT_EQ(log.Count("result_1 config 0 "), 1u);
    EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty());
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_FALSE(IsLoaded(FixturePath(L"result_1.sph")));
}

TEST_F(Inspection, SettingsWithoutALoadableDialogOnlyBeep)
{
    TempFolder folder;
    ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / L"gone.sph").c_str(), FALSE));
    dialog.ShowEntry(folder.Path(), L"gone.sph");
    InspectSelectedPlugin(dialog.get());
    ASSERT_TRUE(DeleteFileW((folder / L"gone.sph").c_str()));
    Show(L"infoonly.sph");
    InspectSelectedPlugin(dialog.get());

    struct Case {
        const wchar_t* folder;
        const wchar_t* entry;
    };
    const std::wstring fixtures = FixturesDir();
    for (const Case& c : {Case{folder.Path().c_str(), L"gone.sph"}, Case{fixtures.c_str(), L"infoonly.sph"},
                          Case{fixtures.c_str(), L"notalib.sph"}, Case{fixtures.c_str(), L"refuses.sph"},
                          Case{fixtures.c_str(), L"truncated.sph"}, Case{fixtures.c_str(), L"win32.sph"},
                          Case{fixtures.c_str(), nullptr}}) {
        SCOPED_TRACE(testing::Message() << "entry " << std::wstring(c.entry ? c.entry : L"(none)").c_str());
        if (c.entry) {
            dialog.ShowEntry(c.folder, c.entry);
        } else {
            SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_RESETCONTENT, 0, 0);
        }
        // Rows that a refill would replace.
        ClearInfoList();
        AppendReportRow(dialog.Item(IDC_INFO_LIST), L"marker", L"");
        ui.Clear();
        log.Clear();
        OpenPluginDialog(dialog.get(), 1);
        EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
        EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (Rows{{L"marker", L""}}));
        EXPECT_EQ(log.Count("infoonly config"), 0u);
    }
    for (const wchar_t* name : {L"infoonly.sph", L"notalib.sph", L"refuses.sph", L"truncated.sph", L"win32.sph"}) {
        EXPECT_FALSE(IsLoaded(FixturePath(name))) << Utf8(name);
    }
}

// Also after a plug-in gave the focus to a window of its own and closed that window before it
// returned: the dialog was disabled then, so the activation fell to another window on screen,
// here one of this thread's own (a plug-in may leave one).
TEST_F(Inspection, KeyboardFocusStaysOnSettingsAcrossItsRefill)
{
    HWND other = CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    const auto destroyOther = handles::MakeScopeGuard([other] { DestroyWindow(other); });
    ShowWindow(dialog.get(), SW_SHOW);
    SetForegroundWindow(dialog.get());
    const std::pair<std::wstring, std::wstring> plugins[] = {{FixturesDir(), L"result0.sph"},
                                                             {FixturesDir() + L"\\calls", L"takefocus.sph"}};
    for (const auto& plugin : plugins) {
        SCOPED_TRACE(Utf8(plugin.second));
        dialog.ShowEntry(plugin.first, plugin.second);
        InspectSelectedPlugin(dialog.get());
        SetFocus(dialog.Item(IDC_SETTINGS));
        ASSERT_EQ(GetFocus(), dialog.Item(IDC_SETTINGS));
        OpenPluginDialog(dialog.get(), 1);
        EXPECT_EQ(GetFocus(), dialog.Item(IDC_SETTINGS));
        EXPECT_EQ(GetActiveWindow(), dialog.get());
        EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
    }
    EXPECT_EQ(log.Matching("takefocus focus taken "), std::vector<std::string>{"takefocus focus taken 1"});
}

TEST_F(Inspection, PluginDialogIsOwnedByTheBrowserAndTheViewFollowsIt)
{
    Inspect(L"selfclosing.sph");
    ClearInfoList();
    OpenPluginDialog(dialog.get(), 1);
    const std::vector<std::string> owner = log.Matching("selfclosing owner ");
    ASSERT_EQ(owner.size(), 1u);
    EXPECT_EQ(owner[0].compare(0, 18 + HandleText(dialog.get()).size() + 7,
                               "selfclosing owner " + HandleText(dialog.get()) + " same=1"),
              0)
        << owner[0];
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_TRUE(ui.Beeps().empty());
    EXPECT_FALSE(IsLoaded(FixturePath(L"selfclosing.sph")));
}

// Windows draws nothing of a list whose redraw is switched off: a box that a plug-in shows while
// it is asked (here an owner-less one, from its about call) would leave its trails on them.
TEST_F(Inspection, ListsCanRepaintUnderABoxThatThePluginShowsWhileAsked)
{
    static HWND lists[2];
    static bool redrawOff[2];
    static int boxActivations;
    static bool offUnderBox;
    lists[0] = dialog.Item(IDC_INFO_LIST);
    lists[1] = dialog.Item(IDC_TYPE_LIST);
    redrawOff[0] = redrawOff[1] = false;
    boxActivations = 0;
    offUnderBox = false;
    const SUBCLASSPROC watch = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
        if (message == WM_SETREDRAW) redrawOff[window == lists[1]] = wParam == FALSE;
        return DefSubclassProc(window, message, wParam, lParam);
    };
    for (HWND list : lists) ASSERT_TRUE(SetWindowSubclass(list, watch, 1, 0));
    const HOOKPROC box = [](int code, WPARAM wParam, LPARAM lParam) {
        wchar_t name[16] = {};
        if (code == HCBT_ACTIVATE && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16) &&
            std::wstring(name) == L"#32770") {
            ++boxActivations;
            offUnderBox = offUnderBox || redrawOff[0] || redrawOff[1];
            PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    };
    {
        struct Unhook {
            void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
        };
        const std::unique_ptr<std::remove_pointer<HHOOK>::type, Unhook> hook(
            SetWindowsHookExW(WH_CBT, box, nullptr, GetCurrentThreadId()));
        dialog.ShowEntry(FixturesDir() + L"\\calls", L"ownerless.sph");
        InspectSelectedPlugin(dialog.get());
    }
    for (HWND list : lists) RemoveWindowSubclass(list, watch, 1);
    ASSERT_GT(boxActivations, 0);
    EXPECT_FALSE(offUnderBox);
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
}

}  // namespace
