// A download folder may already hold a library named like one of Windows' own. Windows takes
// only the libraries on its known list from the system folder for sure; for any other name it
// looks beside the program first. Wine prefers its builtin copies, so this test runs with
// WINEDLLOVERRIDES preferring files ("n,b") for the planted names, as Windows does; Wine's
// children take that from the environment the test started with, not from one it sets.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "fixture_log.h"
#include "process_ui.h"
#include "scratch.h"

TEST(PlantedLibraries, NothingBesideEitherProgramRunsInsideIt)
{
    SettingsSandbox sandbox;
    TempFolder folder;
    for (const wchar_t* program : {L"Plexmoor1.exe", L"Plexmoor2.exe"}) {
        ASSERT_TRUE(CopyFileW((ExecutableDir() + L"\\" + program).c_str(), (folder / program).c_str(), FALSE));
    }
    // version.dll is the one system library the programs use that is on no Windows version's
    // known list: they read their version resource with it. The import test keeps every import
    // on that list. (Shcore.dll, which the browser loads for the monitor's DPI, is on it from
    // Windows 8.1 on; Wine's shlwapi imports it, so a planted copy would run whatever we did.)
    // A call from the program into the planted copy leaves the marker.
    ASSERT_TRUE(CopyFileW(FixturePath(L"planted.dll").c_str(), (folder / L"version.dll").c_str(), FALSE));
    const std::wstring marker = folder / L"version.dll.ran";
    std::vector<wchar_t> overrides(32768, L'\0');
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.data(), static_cast<DWORD>(overrides.size()));
    ASSERT_NE(std::wstring(overrides.data()).find(L"version=n,b"), std::wstring::npos)
        << "without it Wine ignores every planted library";

    // The usage box shows once the version resource has been read, through the system's copy.
    {
        Program configurator(folder / L"Plexmoor1.exe", L"", folder.Path());
        const MessageBoxView usage = WaitForMessageBox(configurator.Id());
        ASSERT_NE(usage.window, nullptr) << "the configurator showed no usage";
        EXPECT_NE(usage.text.find(L"Version 1.2.0.0"), std::wstring::npos) << Utf8(usage.text);
        EXPECT_FALSE(FileExists(marker)) << "it ran inside the configurator";
        DismissMessageBox(usage.window);
        EXPECT_EQ(configurator.Wait(), static_cast<DWORD>(-1));
    }

    // Its dialog shows once the caption is read and the columns are sized for the monitor's DPI.
    Program browser(folder / L"Plexmoor2.exe", L"", folder.Path());
    HWND dialog = WaitForWindow(browser.Id(), L"#32770", nullptr, 30000);
    ASSERT_NE(dialog, nullptr) << "the browser showed no dialog";
    Settle(dialog);
    EXPECT_FALSE(FileExists(marker)) << "it ran inside the browser";
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(browser.Wait(), 0u);
}
