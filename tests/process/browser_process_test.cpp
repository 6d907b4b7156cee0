// Plexmoor2.exe as a user's desktop starts it: found, poked and closed from outside.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "remote_browser.h"
#include "resource.h"
#include "scratch.h"

TEST(BrowserProcess, ClosesWithExitCodeZeroOnSystemCloseAndOnAPlainCloseMessage)
{
    SettingsSandbox sandbox;
    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr) << "the main dialog never appeared";
    EXPECT_EQ(TextOf(browser.Dialog()), L"Plexmoor2");
    EXPECT_EQ(browser.Close(), 0u);

    RemoteBrowser again;
    ASSERT_NE(again.Dialog(), nullptr);
    PostMessageW(again.Dialog(), WM_CLOSE, 0, 0);
    EXPECT_EQ(again.Process().Wait(), 0u);
}

TEST(BrowserProcess, EnterAndEscapeDoNotCloseItAndBrowseIsASplitButton)
{
    SettingsSandbox sandbox;
    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr);
    // What the dialog manager turns Enter and Escape into, and the keys themselves.
    PostMessageW(browser.Dialog(), WM_COMMAND, IDOK, 0);
    PostMessageW(browser.Dialog(), WM_COMMAND, IDCANCEL, 0);
    PostMessageW(browser.Item(IDC_PLUGIN_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(browser.Item(IDC_PLUGIN_LIST), WM_KEYDOWN, VK_RETURN, 0);
    browser.Settle();
    EXPECT_TRUE(browser.Running());
    EXPECT_TRUE(IsWindowVisible(browser.Dialog()));

    const LONG style = GetWindowLongW(browser.Item(IDC_BROWSE), GWL_STYLE);
    EXPECT_EQ(style & BS_TYPEMASK, BS_SPLITBUTTON);
    EXPECT_TRUE(style & BS_FLAT);
    EXPECT_EQ(browser.Close(), 0u);
}

// Without a version resource the product's own name stands in, on its dialog and its boxes
// (the empty list's copy is confirmed like any other).
TEST(BrowserProcess, WithoutVersionResourceEveryCaptionFallsBackToTheProductName)
{
    SettingsSandbox sandbox;
    RemoteBrowser browser(L"Plexmoor2NoVersion.exe");
    ASSERT_NE(browser.Dialog(), nullptr);
    EXPECT_EQ(TextOf(browser.Dialog()), L"Plexmoor2");
    browser.Click(IDC_COPY_ALL_EXT);
    const MessageBoxView box = browser.WaitForMessageBox();
    ASSERT_NE(box.window, nullptr);
    EXPECT_EQ(box.caption, L"Plexmoor2");
    EXPECT_EQ(box.owner, browser.Dialog());
    DismissMessageBox(box.window);
    EXPECT_EQ(browser.Close(), 0u);
}
