// Plexmoor2.exe as a user's desktop starts it: found, poked and closed from outside.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "process.h"
#include "resource.h"

namespace {


struct RunningBrowser {
    explicit RunningBrowser(const wchar_t* exeName)
        : process(Quote(ExecutableDir() + L"\\" + exeName))
    {
        dialog = WaitForProcessWindow(process.Id(), L"#32770", 20000);
    }
    ChildProcess process;
    HWND dialog = nullptr;
};

// Lets the browser's modal loop work through what was posted to it.
void Settle(HWND dialog)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
    Sleep(200);
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
}

}  // namespace

TEST(BrowserProcess, ClosesWithExitCodeZeroOnSystemClose)
{
    RunningBrowser browser(L"Plexmoor2.exe");
    ASSERT_NE(browser.dialog, nullptr) << "the main dialog never appeared";
    EXPECT_EQ(WindowText(browser.dialog), L"Plexmoor2");
    PostMessageW(browser.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(browser.process.Wait(10000), 0u);
}

TEST(BrowserProcess, ClosesOnAPlainCloseMessageToo)
{
    RunningBrowser browser(L"Plexmoor2.exe");
    ASSERT_NE(browser.dialog, nullptr);
    PostMessageW(browser.dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(browser.process.Wait(10000), 0u);
}

TEST(BrowserProcess, EnterAndEscapeDoNotCloseIt)
{
    RunningBrowser browser(L"Plexmoor2.exe");
    ASSERT_NE(browser.dialog, nullptr);
    HWND list = GetDlgItem(browser.dialog, IDC_PLUGIN_LIST);
    // What the dialog manager turns Enter and Escape into, and the keys themselves.
    PostMessageW(browser.dialog, WM_COMMAND, IDOK, 0);
    PostMessageW(browser.dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    Settle(browser.dialog);
    EXPECT_EQ(browser.process.Wait(500), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(IsWindowVisible(browser.dialog));
    PostMessageW(browser.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(browser.process.Wait(10000), 0u);
}

TEST(BrowserProcess, BrowseBecomesASplitButtonAfterStartUp)
{
    RunningBrowser browser(L"Plexmoor2.exe");
    ASSERT_NE(browser.dialog, nullptr);
    HWND browse = GetDlgItem(browser.dialog, IDC_BROWSE);
    ASSERT_NE(browse, nullptr);
    const LONG style = GetWindowLongW(browse, GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_SPLITBUTTON);
    EXPECT_TRUE(style & BS_FLAT);
    PostMessageW(browser.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(browser.process.Wait(10000), 0u);
}

TEST(BrowserProcess, CaptionFallsBackToProgramNameWithoutVersionResource)
{
    RunningBrowser browser(L"Plexmoor2NoVersion.exe");
    ASSERT_NE(browser.dialog, nullptr);
    EXPECT_EQ(WindowText(browser.dialog), L"Plexmoor2");
    PostMessageW(browser.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(browser.process.Wait(10000), 0u);
}
