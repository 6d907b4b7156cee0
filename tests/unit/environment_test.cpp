#include <gtest/gtest.h>

#include <windows.h>

// Every later test assumes a Japanese Windows: without it, plug-in texts would be converted
// with the wrong code page and the checks would pass or fail for the wrong reasons.
TEST(Environment, AnsiCodePageIsJapanese)
{
    ASSERT_EQ(GetACP(), 932u) << "the Wine prefix must run with LANG=ja_JP.UTF-8 and that locale generated";
}

TEST(Environment, JapaneseDialogFontIsReplaced)
{
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
