// Plug-ins that fault, or that bring libraries of their own, met by the real programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "fixture_log.h"
#include "process_ui.h"
#include "remote_browser.h"
#include "resource.h"
#include "scratch.h"

namespace {

// What the fixtures that leave code running wait for before their threads go on; held open by
// the caller until they woke, so that a thread that has yet to open it finds it set.
handles::UniqueHandle WakeFixtureThreads(DWORD processId)
{
    const std::wstring name = L"PlexmoorFixtureWake" + std::to_wstring(processId);
    handles::UniqueHandle wake(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    EXPECT_TRUE(wake);
    if (wake) SetEvent(wake.get());
    return wake;
}

// The thread a fixture holds before any code of its own runs, let go.
bool ResumeHeldThread(const FixtureLog& log, const std::string& name)
{
    const std::string prefix = name + " held thread ";
    const std::vector<std::string> held = log.Matching(prefix);
    if (held.empty()) return false;
    const DWORD id = std::stoul(held[0].substr(prefix.size()));
    const handles::UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, id));
    return thread && ResumeThread(thread.get()) == 1;
}

constexpr UINT kFixtureWindowMessage = WM_APP + 8;
constexpr UINT kFixtureSubclassMessage = WM_APP + 9;
constexpr UINT kFixtureMessageWindowMessage = WM_APP + 10;

const wchar_t kLostStartLine[] =
    L"以前、読み込み中に終了したため、自動では読み込みません。ダブルクリックで読み込みます。";

std::vector<Row> OrdinaryInfo(const std::wstring& name)
{
    return {{L"ファイル名", name}, {L"About", L"Plexmoor test fixture 1.0"}, {L"APIバージョン", L"00IN"}};
}

ULONGLONG WriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// An old write time, so that any rewrite shows, even one with the same content.
void AgeFile(const std::wstring& path)
{
    HANDLE opened = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(opened, INVALID_HANDLE_VALUE);
    const handles::UniqueHandle file(opened);
    const FILETIME old = {0x12345678u, 0x01C00000u};
    ASSERT_TRUE(SetFileTime(opened, nullptr, nullptr, &old));
}

// A folder whose first plug-in is a copy of fixture under the name first, an ordinary one after it.
void PlantBeforeOrdinary(const TempFolder& folder, const std::wstring& fixture, const std::wstring& first)
{
    ASSERT_TRUE(CopyFileW(FixturePath(fixture).c_str(), (folder / first).c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / L"b_ordinary.sph").c_str(), TRUE));
}

TEST(FaultingPlugins, TheBrowserOutlivesAFaultAtStartUpAndInASettingsDialogAndShowsTheNextPluginRight)
{
    SettingsSandbox sandbox;
    FixtureLog log;
    TempFolder folder;
    // First in the list, so the start-up inspection meets it before the dialog shows.
    ASSERT_NO_FATAL_FAILURE(PlantBeforeOrdinary(folder, L"faulting\\faulty.sph", L"a_faulty.sph"));
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

// Each leaves code of its own that runs after its call: a thread (started directly or through
// the C runtime, or through the C runtime and held before it runs any code of the plug-in's), a
// window, a subclass of the browser's dialog or of one of its controls, a message-only window.
// None may run in a freed library.
TEST(LeftRunningPlugins, TheBrowserKeepsThemLoadedAndContainsAnOverrunningAnswer)
{
    SettingsSandbox sandbox;
    FixtureLog log;
    TempFolder folder;
    const std::vector<std::pair<std::wstring, std::wstring>> copies = {
        {L"running\\thread.sph", L"a_thread.sph"},   {L"running\\crtthread.sph", L"b_crtthread.sph"},
        {L"running\\window.sph", L"c_window.sph"},   {L"running\\subclass.sph", L"d_subclass.sph"},
        {L"faulting\\overrun.sph", L"e_overrun.sph"}, {L"ordinary.sph", L"f_ordinary.sph"},
        {L"running\\control.sph", L"g_control.sph"},  {L"running\\messagewindow.sph", L"h_messagewindow.sph"},
        {L"running\\heldthread.sph", L"i_heldthread.sph"}};
    for (const auto& copy : copies) {
        ASSERT_TRUE(CopyFileW(FixturePath(copy.first).c_str(), (folder / copy.second).c_str(), TRUE));
    }
    sandbox.WriteHistory({folder.Path()});

    // The start-up inspection meets the first; each of the others is selected in turn.
    RemoteBrowser browser;
    ASSERT_TRUE(browser.Running());
    for (int index : {1, 2, 3}) browser.SelectPlugin(index);
    browser.Click(IDC_SETTINGS);
    ASSERT_TRUE(log.WaitFor("d_subclass config 1 "));
    browser.SelectPlugin(4);
    EXPECT_EQ(browser.InfoRows(), (std::vector<Row>{{L"ファイル名", L"e_overrun.sph"},
                                                   {L"About", L"Plexmoor test fixture 1.0"},
                                                   {L"APIバージョン", L"00IN"}}));
    EXPECT_TRUE(browser.TypeRows().empty()) << "nothing of the overrunning answer is shown";
    browser.SelectPlugin(5);
    EXPECT_EQ(browser.TypeRows(), (std::vector<Row>{{L"*.abc", L"ABC image"},
                                                   {L"*.def;*.deg", L"DEF image"},
                                                   {L"*.ghi", L"GHI image"}}));
    EXPECT_EQ(log.Count("f_ordinary detach free"), 1u) << "a plug-in that leaves nothing running is freed";
    for (int index : {6, 7}) {
        browser.SelectPlugin(index);
        browser.Click(IDC_SETTINGS);
    }
    ASSERT_TRUE(log.WaitFor("g_control control "));
    ASSERT_TRUE(log.WaitFor("h_messagewindow message window "));
    // Last: a thread held before its own code could be anybody's, so while it is held, no plug-in
    // is freed.
    browser.SelectPlugin(8);
    browser.Settle();

    // Now their code runs again: in a freed library that would end the browser.
    const handles::UniqueHandle wake = WakeFixtureThreads(browser.Process().Id());
    EXPECT_TRUE(ResumeHeldThread(log, "i_heldthread"));
    EXPECT_TRUE(log.WaitFor("a_thread thread woke"));
    EXPECT_TRUE(log.WaitFor("b_crtthread thread woke"));
    EXPECT_TRUE(log.WaitFor("i_heldthread thread woke"));
    SendMessageTimeoutW(log.LoggedWindow("c_window window "), kFixtureWindowMessage, 0, 0, SMTO_NORMAL, kWaitMs,
                        nullptr);
    EXPECT_EQ(log.Count("c_window window message"), 1u);
    SendMessageTimeoutW(browser.Dialog(), kFixtureSubclassMessage, 0, 0, SMTO_NORMAL, kWaitMs, nullptr);
    EXPECT_EQ(log.Count("d_subclass subclass message"), 1u);
    SendMessageTimeoutW(log.LoggedWindow("g_control control "), kFixtureSubclassMessage, 0, 0, SMTO_NORMAL, kWaitMs,
                        nullptr);
    EXPECT_EQ(log.Count("g_control subclass message"), 1u);
    SendMessageTimeoutW(log.LoggedWindow("h_messagewindow message window "), kFixtureMessageWindowMessage, 0, 0,
                        SMTO_NORMAL, kWaitMs, nullptr);
    EXPECT_EQ(log.Count("h_messagewindow message window message"), 1u);
    for (const auto& copy : copies) {
        if (copy.second == L"f_ordinary.sph") continue;
        SCOPED_TRACE(Utf8(copy.second));
        EXPECT_TRUE(HasLoaded(browser.Process().Id(), folder / copy.second));
        // Those that leave code from their settings call were freed once, after the inspection
        // that came before it.
        const bool bySettings = copy.second == L"d_subclass.sph" || copy.second == L"g_control.sph" ||
                                copy.second == L"h_messagewindow.sph";
        const size_t freed = bySettings ? 1u : 0u;
        EXPECT_EQ(log.Count(Utf8(copy.second.substr(0, copy.second.size() - 4)) + " detach free"), freed);
    }
    EXPECT_EQ(browser.Close(), 0u);
}

// A plug-in that ends the browser where no fault handler reaches (here the C runtime's exit()
// in its about call) costs the start that met it, never the ones after it: nor does a picture
// that it claims, which the search leaves to the next plug-in. A double-click tries it again.
TEST(LostStarts, APluginThatEndedAStartIsNotLoadedOnItsOwnAgainUntilChosenAndTheHistoryStaysUntouched)
{
    SettingsSandbox sandbox;
    FixtureLog log;
    TempFolder folder;
    const std::wstring exits = folder / L"a_exits.sph";
    ASSERT_NO_FATAL_FAILURE(PlantBeforeOrdinary(folder, L"ending\\exits.sph", L"a_exits.sph"));
    const std::wstring picture = folder / L"picture.abc";
    ASSERT_TRUE(WriteBytes(picture, "both plug-ins claim *.abc"));
    sandbox.WriteHistory({folder.Path()});
    AgeFile(SettingsSandbox::SettingsFile());
    const std::string history = sandbox.SettingsBytes();
    const ULONGLONG written = WriteTime(SettingsSandbox::SettingsFile());

    const Program lost(ExecutableDir() + L"\\Plexmoor2.exe");
    ASSERT_EQ(lost.Wait(), 3u) << "the plug-in's exit(3) ends the first start";

    const std::vector<Row> heldBack = {{L"a_exits.sph", kLostStartLine}};
    for (int start = 2; start <= 3; ++start) {
        SCOPED_TRACE(start);
        RemoteBrowser browser;
        ASSERT_TRUE(browser.Running());
        EXPECT_EQ(browser.Folder(), folder.Path());
        EXPECT_EQ(browser.PluginNames(), (std::vector<std::wstring>{L"a_exits.sph", L"b_ordinary.sph"}));
        EXPECT_EQ(browser.SelectedPlugin(), 0);
        EXPECT_EQ(browser.InfoRows(), heldBack);
        EXPECT_TRUE(browser.TypeRows().empty());
        EXPECT_FALSE(browser.Enabled(IDC_SETTINGS));
        EXPECT_FALSE(browser.Enabled(IDC_ABOUT));
        if (start == 2) {
            ASSERT_TRUE(browser.Drop({picture}));
            ASSERT_TRUE(browser.Running()) << "the search loaded the held-back plug-in";
            EXPECT_EQ(browser.SelectedPlugin(), 1);
            EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"b_ordinary.sph"));
            EXPECT_EQ(browser.TypeRows().size(), 3u);
            // On an entry held back by nothing, a double-click inspects again.
            const std::size_t loads = log.Count("b_ordinary attach");
            browser.DoubleClickSelectedPlugin();
            EXPECT_EQ(log.Count("b_ordinary attach"), loads + 1);
            EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"b_ordinary.sph"));
            // Met again after a plug-in with file types, the held-back view shows none of them.
            ASSERT_TRUE(browser.Drop({folder.Path()}));
            EXPECT_EQ(browser.InfoRows(), heldBack);
            EXPECT_TRUE(browser.TypeRows().empty());
            EXPECT_EQ(log.Count("a_exits attach"), 1u) << "only the lost start loaded it";
        } else {
            EXPECT_EQ(log.Count("a_exits attach"), 1u) << "only the lost start loaded it";
            // Mended, and chosen on purpose: inspected as any selection is, and held back no more.
            ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), exits.c_str(), FALSE));
            browser.DoubleClickSelectedPlugin();
            EXPECT_EQ(browser.InfoRows(), OrdinaryInfo(L"a_exits.sph"));
            EXPECT_TRUE(browser.Enabled(IDC_SETTINGS));
        }
        EXPECT_EQ(browser.Close(), 0u);
    }
    RemoteBrowser mended;
    EXPECT_EQ(mended.InfoRows(), OrdinaryInfo(L"a_exits.sph"));
    EXPECT_EQ(mended.Close(), 0u);

    EXPECT_EQ(sandbox.SettingsBytes(), history);
    EXPECT_EQ(WriteTime(SettingsSandbox::SettingsFile()), written);
    EXPECT_EQ(SettingsSandbox::SettingsFolderNames(), std::vector<std::wstring>{L"sph.ini"});
}

// The one fault the guard leaves to the system is a stack overflow (the stack's guard page is
// spent by then): like exit(), it ends the start that meets it and no later one.
TEST(LostStarts, APluginThatOverflowsTheStackEndsTheStartThatMetItAndIsHeldBackAtTheNext)
{
    SettingsSandbox sandbox;
    FixtureLog log;
    TempFolder folder;
    ASSERT_NO_FATAL_FAILURE(PlantBeforeOrdinary(folder, L"ending\\overflows.sph", L"a_overflows.sph"));
    sandbox.WriteHistory({folder.Path()});

    const Program lost(ExecutableDir() + L"\\Plexmoor2.exe");
    ASSERT_EQ(lost.Wait(), static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW));
    RemoteBrowser next;
    ASSERT_TRUE(next.Running());
    EXPECT_EQ(next.InfoRows(), (std::vector<Row>{{L"a_overflows.sph", kLostStartLine}}));
    EXPECT_EQ(log.Count("a_overflows attach"), 1u) << "only the lost start loaded it";
    EXPECT_EQ(next.Close(), 0u);
}

// Browsers at once: one still inside its start-up inspection (its plug-in waits on a message box)
// is no lost start to another, which removes only its own mark. Ended from outside, as the task
// manager ends a hung browser, the first leaves a lost start behind, also on a first start.
TEST(LostStarts, ABrowserStillInItsInspectionIsNoLostStartAndOneEndedFromOutsideIs)
{
    SettingsSandbox sandbox;
    RemoveDirectoryW(SettingsSandbox::SettingsFolder().c_str());
    ASSERT_FALSE(FolderExists(SettingsSandbox::SettingsFolder()));
    TempFolder folder;
    ASSERT_NO_FATAL_FAILURE(PlantBeforeOrdinary(folder, L"calls\\ownerless.sph", L"a_waits.sph"));
    sandbox.SetSusieFolder(folder.Path());

    const Program first(ExecutableDir() + L"\\Plexmoor2.exe");
    ASSERT_NE(WaitForMessageBox(first.Id()).window, nullptr);
    {
        const Program second(ExecutableDir() + L"\\Plexmoor2.exe");
        const MessageBoxView box = WaitForMessageBox(second.Id());
        ASSERT_NE(box.window, nullptr) << "the second start did not ask the plug-in";
        DismissMessageBox(box.window);
        ASSERT_TRUE(WaitUntilGone(box.window));
        const HWND dialog = WaitForWindow(second.Id(), L"#32770");
        ASSERT_NE(dialog, nullptr);
        SettlePosted(GetDlgItem(dialog, IDC_FOLDER));
        EXPECT_EQ(ListViewRows(GetDlgItem(dialog, IDC_INFO_LIST)),
                  (std::vector<Row>{{L"ファイル名", L"a_waits.sph"},
                                    {L"About", L"Plexmoor test fixture 1.0"},
                                    {L"APIバージョン", L"00IN"}}));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        EXPECT_EQ(second.Wait(), 0u);
    }
    ASSERT_TRUE(TerminateProcess(first.Handle(), 1));
    first.Wait();

    RemoteBrowser after;
    ASSERT_TRUE(after.Running());
    EXPECT_EQ(after.Folder(), folder.Path());
    EXPECT_EQ(after.InfoRows(), (std::vector<Row>{{L"a_waits.sph", kLostStartLine}}));
    EXPECT_FALSE(after.ShowsMessageBox());
    EXPECT_EQ(after.Close(), 0u);
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

    // Freed after a settings call that succeeded, it faults: that is no success either.
    const std::wstring detach = FixturePath(L"faulting\\faultdetach.sph");
    const RunResult freed = RunConfigurator(detach);
    EXPECT_EQ(freed.exitCode, 1u);
    ASSERT_EQ(freed.boxes.size(), 1u);
    EXPECT_EQ(freed.boxes[0].text, L"プラグインの処理中に例外が発生しました。\r\n" + detach);
    EXPECT_EQ(log.Count("faultdetach config 1 "), 1u);
    EXPECT_EQ(log.Count("faultdetach faulting at free"), 1u);

    // A fault the system contained itself, in the plug-in's window procedure: no success either.
    const std::wstring creation = FixturePath(L"faulting\\faultsincreation.sph");
    const RunResult swallowed = RunConfigurator(creation);
    EXPECT_EQ(swallowed.exitCode, 1u);
    ASSERT_EQ(swallowed.boxes.size(), 1u);
    EXPECT_EQ(swallowed.boxes[0].text, L"プラグインの処理中に例外が発生しました。\r\n" + creation);
    EXPECT_EQ(log.Count("faultsincreation created 0"), 1u);
    EXPECT_EQ(log.Count("faultsincreation detach free"), 0u);

    const RunResult beside = RunConfigurator(FixturesDir() + L"\\beside\\withlib.sph");
    EXPECT_EQ(beside.exitCode, 0u);
    EXPECT_TRUE(beside.boxes.empty());
    EXPECT_EQ(log.Count("withlib config 1 "), 1u);
}

// The same in the configurator, whose settings call leaves them: it ends as after any success.
TEST(LeftRunningPlugins, TheConfiguratorKeepsThemLoadedUntilItEnds)
{
    for (const wchar_t* name : {L"crtthread", L"window"}) {
        SCOPED_TRACE(Utf8(name));
        FixtureLog log;
        const RunResult outcome = RunConfigurator(FixturePath(std::wstring(L"running\\") + name + L".sph"));
        EXPECT_EQ(outcome.exitCode, 0u);
        EXPECT_TRUE(outcome.boxes.empty());
        EXPECT_EQ(log.Count(Utf8(name) + " detach free"), 0u);
        EXPECT_EQ(log.Count(Utf8(name) + " detach exit"), 1u);
    }
}

}  // namespace
