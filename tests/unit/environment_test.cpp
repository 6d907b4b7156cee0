#include <gtest/gtest.h>

#include <windows.h>

#include "system_needs.h"

// Every later test assumes a Japanese Windows: without it, plug-in texts would be converted
// with the wrong code page and the checks would pass or fail for the wrong reasons.
TEST(Environment, AnsiCodePageIsJapanese)
{
    // In the test bundle any Windows may run the tests: there the tests that need it skip.
    if (InTestBundle()) {
        SKIP_WITHOUT_JAPANESE_CODE_PAGE();
    }
    ASSERT_EQ(GetACP(), 932u) << "the Wine prefix must run with LANG=ja_JP.UTF-8 and that locale generated";
}

TEST(Environment, JapaneseDialogFontIsReplaced)
{
    SKIP_OUTSIDE_WINE("Windows has the font itself");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    const LONG status = RegQueryValueExW(key, L"メイリオ", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS) << "without a replacement the dialog shows boxes for Japanese text";
    EXPECT_STREQ(value, L"Noto Sans CJK JP");
}

// Programs read the display's DPI when they start; a test that set 144 and was killed before
// it could put 96 back would otherwise change every later test's figures.
TEST(Environment, DisplayIsSetBackTo96Dpi)
{
    SKIP_OUTSIDE_WINE("on Windows the display setting is the user's own");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD dpi = 96;
    EXPECT_EQ(RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
