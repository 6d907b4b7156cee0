// A download folder may already hold a library named like one of Windows' own. Windows takes
// only the libraries on its known list from the system folder for sure; for any other name it
// looks beside the program first. Wine prefers its builtin copies, so this test runs with
// WINEDLLOVERRIDES preferring files for version.dll ("n,b"), as Windows does; Wine's children
// take that from the environment the test started with, not from one it sets.
#include <gtest/gtest.h>

#include <windows.h>

#include "fixture_log.h"
#include "process_ui.h"
#include "scratch.h"
#include "system_needs.h"

// version.dll is the one system library the programs use that is on no Windows version's known
// list: they read their version resource with it. The import test keeps every import on that
// list. (Shcore.dll, which the browser loads for the monitor's DPI, is on it from Windows 8.1 on;
// Wine's shlwapi imports it, so a planted copy would run whatever we did.)
TEST(PlantedLibraries, NothingBesideEitherProgramRunsInsideIt)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    for (const wchar_t* file : {L"Plexmoor1.exe", L"Plexmoor2.exe"}) {
        ASSERT_TRUE(CopyFileW((ExecutableDir() + L"\\" + file).c_str(), (folder / file).c_str(), FALSE));
    }
    ASSERT_TRUE(CopyFileW(FixturePath(L"planted\\version.dll").c_str(), (folder / L"version.dll").c_str(), FALSE));
    FixtureLog log;

    // The usage box shows once the version resource has been read, through the system's copy.
    {
        Program configurator(folder / L"Plexmoor1.exe", L"", folder.Path());
        const MessageBoxView usage = WaitForMessageBox(configurator.Id());
        ASSERT_NE(usage.window, nullptr) << "the configurator showed no usage";
        EXPECT_NE(usage.text.find(L"Version 1.2.0.0"), std::wstring::npos) << Utf8(usage.text);
        // Wine's own user32 imports version.dll: the planted copy is there, and only our calls
        // into it would tell. Windows' does not: there nothing need load it.
        if (UnderWine()) {
            ASSERT_EQ(log.Count("version attach"), 1u) << "Wine did not prefer the planted file";
        }
        EXPECT_EQ(log.Count("version call"), 0u) << "it ran inside the configurator";
        DismissMessageBox(usage.window);
        EXPECT_EQ(configurator.Wait(), static_cast<DWORD>(-1));
    }

    // Its dialog shows once the caption is read and the columns are sized for the monitor's DPI.
    Program browser(folder / L"Plexmoor2.exe", L"", folder.Path());
    HWND dialog = WaitForWindow(browser.Id(), L"#32770", nullptr, 30000);
    ASSERT_NE(dialog, nullptr) << "the browser showed no dialog";
    Settle(dialog);
    EXPECT_EQ(log.Count("version call"), 0u) << "it ran inside the browser";
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(browser.Wait(), 0u);
}
