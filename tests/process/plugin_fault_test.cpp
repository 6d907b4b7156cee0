// Plug-ins that fault, or that bring libraries of their own, met by the real programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "fixture_log.h"
#include "process_ui.h"
#include "remote_browser.h"
#include "resource.h"
#include "scratch.h"

namespace {

TEST(FaultingPlugins, TheBrowserOutlivesAFaultAtStartUpAndInASettingsDialogAndShowsTheNextPluginRight)
{
    SettingsSandbox sandbox;
    FixtureLog log;
    TempFolder folder;
    // First in the list, so the start-up inspection meets it before the dialog shows.
    ASSERT_TRUE(CopyFileW(FixturePath(L"faulting\\faulty.sph").c_str(), (folder / L"a_faulty.sph").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / L"b_ordinary.sph").c_str(), TRUE));
    sandbox.WriteHistory({folder.Path()});

    RemoteBrowser browser;
    ASSERT_TRUE(browser.Running());
    EXPECT_EQ(browser.TypeRows(), (std::vector<Row>{{L"*.abc", L"ABC image"}})) << "the rows gathered before the fault";

    browser.Click(IDC_SETTINGS);
    ASSERT_TRUE(log.WaitFor("a_faulty faulting"));
    EXPECT_TRUE(WaitUntilGone(log.LoggedWindow("a_faulty dialog ")));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(browser.Dialog()) != FALSE; }));
    browser.Settle();
    GUITHREADINFO focus = {};
    focus.cbSize = sizeof(focus);
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(browser.Dialog(), nullptr), &focus));
    EXPECT_EQ(focus.hwndActive, browser.Dialog());
    EXPECT_TRUE(focus.hwndFocus == browser.Dialog() || IsChild(browser.Dialog(), focus.hwndFocus));
    EXPECT_EQ(focus.hwndCapture, nullptr);
    for (HWND window : TopLevelWindows(browser.Process().Id())) {
        EXPECT_TRUE(window == browser.Dialog() || !IsWindowVisible(window)) << Utf8(ClassOf(window));
    }
    EXPECT_TRUE(HasLoaded(browser.Process().Id(), folder / L"a_faulty.sph")) << "a library that faulted is never freed";

    browser.SelectPlugin(1);
    EXPECT_EQ(browser.InfoRows(), (std::vector<Row>{{L"ファイル名", L"b_ordinary.sph"},
                                                   {L"About", L"Plexmoor test fixture 1.0"},
                                                   {L"APIバージョン", L"00IN"}}));
    EXPECT_EQ(browser.Close(), 0u);
}

TEST(FaultingPlugins, TheConfiguratorNamesEachFaultInABoxOfItsOwnAndCallsThePluginOnce)
{
    FixtureLog log;
    const std::wstring faulty = FixturePath(L"faulting\\faulty.sph");
    const RunResult settings = RunConfigurator(faulty);
    EXPECT_EQ(settings.exitCode, 1u);
    ASSERT_EQ(settings.boxes.size(), 1u);
    EXPECT_EQ(settings.boxes[0].text, L"プラグインの処理中に例外が発生しました。\r\n" + faulty);
    EXPECT_EQ(settings.boxes[0].caption, L"Plexmoor1");
    EXPECT_TRUE(settings.boxes[0].icon);
    EXPECT_EQ(settings.boxes[0].owner, nullptr);
    EXPECT_EQ(settings.strayWindows, 0) << "the plug-in's dialog is gone before the box shows";
    EXPECT_EQ(log.Count("faulty config 1 "), 1u);
    EXPECT_EQ(log.Count("faulty detach free"), 0u) << "a library that faulted is never freed";
    EXPECT_EQ(log.Count("faulty detach exit"), 1u);

    const std::wstring attach = FixturePath(L"faulting\\faultattach.sph");
    const RunResult load = RunConfigurator(attach);
    EXPECT_EQ(load.exitCode, 1u);
    ASSERT_EQ(load.boxes.size(), 1u);
    EXPECT_EQ(load.boxes[0].text, L"プラグインをロードできませんでした。\r\n" + attach);

    const RunResult beside = RunConfigurator(FixturesDir() + L"\\beside\\withlib.sph");
    EXPECT_EQ(beside.exitCode, 0u);
    EXPECT_TRUE(beside.boxes.empty());
    EXPECT_EQ(log.Count("withlib config 1 "), 1u);
}

}  // namespace
