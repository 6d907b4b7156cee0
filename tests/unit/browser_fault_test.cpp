// A plug-in that faults costs the user one action, never the browser; plug-ins find the
// libraries that lie beside them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fixture_log.h"
#include "handles.h"
#include "inspect.h"
#include "intercept.h"
#include "plugin.h"
#include "resource.h"
#include "scan.h"
#include "scratch.h"
#include "test_browser_dialog.h"

namespace {

std::wstring FaultingFixture(const std::wstring& fileName) { return FixturesDir() + L"\\faulting\\" + fileName; }

using Rows = std::vector<Row>;

// Each test works on its own copy of a fixture: a library that faulted stays loaded for the
// rest of this program, and no other test may meet it.
class PluginFaults : public testing::Test {
protected:
    void Inspect(const std::wstring& fixture)
    {
        CopyFileW(FaultingFixture(fixture).c_str(), (folder / fixture).c_str(), TRUE);
        dialog.ShowEntry(folder.Path(), fixture);
        InspectSelectedPlugin(dialog.get());
    }
    bool IsCopyLoaded(const std::wstring& fixture) const { return IsLoaded(folder / fixture); }

    TempFolder folder;
    FixtureLog log;
    UiIntercept ui;
    TestBrowserDialog dialog;
};

const Rows kFaultyInformation = {
    {L"ファイル名", L"faulty.sph"}, {L"About", L"Plexmoor test fixture 1.0"}, {L"APIバージョン", L"00IN"}};

TEST(ContainedCalls, EveryKindOfFaultIsContainedAndWhatThePluginHandlesItselfPassesThrough)
{
    handles::UniqueLibrary library(LoadLibraryW(FaultingFixture(L"faulty.sph").c_str()));
    const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
    ASSERT_NE(getPluginInfo, nullptr);

    bool faulted = true;
    EXPECT_EQ(PluginInfoText(getPluginInfo, 3, &faulted), L"ABC image");
    EXPECT_FALSE(faulted) << "an exception the plug-in caught itself is none of ours";
    // Access violation, division by zero, RaiseException, an escaping C++ exception.
    for (int number : {4, 5, 6, 7}) {
        faulted = false;
        EXPECT_EQ(PluginInfoText(getPluginInfo, number, &faulted), L"") << number;
        EXPECT_TRUE(faulted) << number;
    }
    EXPECT_THROW(throw std::runtime_error("ours"), std::runtime_error) << "our own exceptions still work";
    library.release();
}

TEST_F(PluginFaults, InspectionKeepsWhatWasGatheredBeepsAndNeverFreesTheLibrary)
{
    ASSERT_NE(dialog.get(), nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first inspection" : "inspected again");
        ui.Clear();
        Inspect(L"faulty.sph");
        EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), kFaultyInformation);
        EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST), (Rows{{L"*.abc", L"ABC image"}}));
        EXPECT_EQ(ListViewSelection(dialog.Item(IDC_TYPE_LIST)), 0);
        EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
        EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
        EXPECT_TRUE(IsCopyLoaded(L"faulty.sph"));
    }
    EXPECT_EQ(log.Count("faulty attach"), 1u);
    EXPECT_EQ(log.Count("faulty detach"), 0u);
}

TEST_F(PluginFaults, SettingsDialogThatFaultsIsRemovedAndTheBrowserIsLeftEnabledAsItWas)
{
    Inspect(L"faulty.sph");
    SendMessageW(dialog.Item(IDC_INFO_LIST), LVM_DELETEALLITEMS, 0, 0);
    ui.Clear();
    OpenPluginDialog(dialog.get(), 1);

    ASSERT_EQ(log.Count("faulty faulting"), 1u);
    const std::vector<std::string> created = log.Matching("faulty dialog ");
    ASSERT_EQ(created.size(), 1u);
    const auto pluginDialog = reinterpret_cast<HWND>(std::strtoull(created[0].substr(14).c_str(), nullptr, 16));
    EXPECT_FALSE(IsWindow(pluginDialog));
    EXPECT_TRUE(IsWindowEnabled(dialog.get()));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty()) << "no refresh from a plug-in in an unknown state";
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_TRUE(IsCopyLoaded(L"faulty.sph"));
}

TEST_F(PluginFaults, FaultsWhileLoadingOrUnloadingCostNothingButThatPlugin)
{
    Inspect(L"faultattach.sph");
    EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty());
    EXPECT_FALSE(dialog.Enabled(IDC_SETTINGS));
    ui.Clear();
    OpenPluginDialog(dialog.get(), 1);
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});

    // Wine's loader contains faults in DllMain itself; Windows need not, and then ours does.
    Inspect(L"faultdetach.sph");
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    EXPECT_EQ(log.Count("faultdetach detach"), 1u);
}

TEST(BesideLibraries, APluginFindsTheLibraryInItsOwnFolderAlsoFromARelativeFolder)
{
    UiIntercept ui;
    FixtureLog log;
    TestBrowserDialog dialog;
    const Rows expected = {{L"ファイル名", L"withlib.sph"},
                           {L"About", L"Text from the library beside the plug-in"},
                           {L"APIバージョン", L"00IN"}};
    dialog.ShowEntry(FixturesDir() + L"\\beside", L"withlib.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), expected);

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    const auto restore = handles::MakeScopeGuard([&previous] { SetCurrentDirectoryW(previous); });
    ASSERT_TRUE(SetCurrentDirectoryW(FixturesDir().c_str()));
    dialog.ShowEntry(L"beside", L"withlib.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), expected);
    OpenPluginDialog(dialog.get(), 1);
    EXPECT_EQ(log.Count("withlib config 1 "), 1u);
    EXPECT_EQ(GetFolderText(dialog.get()), L"beside") << "the folder is shown as it was given";
    EXPECT_TRUE(ui.Beeps().empty());
}

}  // namespace
