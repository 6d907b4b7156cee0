// Column widths of a running Plexmoor2.exe with the display set to 96 and to 144 DPI, as worked
// figures: the client width of each list, less the scroll bar's room and 1, split 15:85 and 40:60.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "remote_browser.h"
#include "resource.h"
#include "scratch.h"
#include "system_needs.h"

namespace {

struct Layout {
    int client;
    int first;
    int second;
};

Layout ReadLayout(HWND list)
{
    RECT client = {};
    GetClientRect(list, &client);
    return {client.right, static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0)),
            static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0))};
}

struct Case {
    DWORD logPixels;
    Layout info;
    Layout types;
};

class DisplayScaling : public testing::TestWithParam<Case> {};

// Programs read the display's DPI when they start: the browser is started after the change.
TEST_P(DisplayScaling, RunningBrowserSplitsItsListsByTheDisplaysDpi)
{
    // Windows reads the value only at sign-in, and it is the user's own.
    SKIP_OUTSIDE_WINE("the display's DPI is set through LogPixels");
    const Case c = GetParam();
    SettingsSandbox sandbox;
    SavedRegistryValue savedDpi(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c.logPixels), sizeof(DWORD));
    RegCloseKey(key);

    RemoteBrowser browser;
    ASSERT_NE(browser.Dialog(), nullptr) << "the main dialog never appeared";
    // Widths are set before the first scan fills rows: no scroll bar was there to pay for.
    for (const auto& list : {std::make_pair(IDC_INFO_LIST, c.info), std::make_pair(IDC_TYPE_LIST, c.types)}) {
        const Layout shown = ReadLayout(browser.Item(list.first));
        EXPECT_EQ(shown.client, list.second.client) << list.first;
        EXPECT_EQ(shown.first, list.second.first) << list.first;
        EXPECT_EQ(shown.second, list.second.second) << list.first;
    }
    EXPECT_EQ(browser.Close(), 0u);
}

// 96 DPI: 752 - 17 - 1 = 734 usable. 144 DPI: 1076 - 26 - 1 = 1049, the reserve being the
// scroll bar's width at 144 itself, not the system's already scaled 26 scaled once more (39).
INSTANTIATE_TEST_SUITE_P(LogPixels, DisplayScaling,
                         testing::Values(Case{96, {752, 110, 624}, {752, 293, 441}},
                                         Case{144, {1076, 157, 892}, {1076, 419, 630}}));

}  // namespace
