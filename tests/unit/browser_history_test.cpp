#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "fixture_log.h"
#include "history.h"
#include "process_ui.h"
#include "scratch.h"

namespace {

using Keys = std::map<std::wstring, std::wstring>;
using Folders = std::vector<std::wstring>;

// Keys "1" to "9" of the History section as the file holds them, missing keys left out.
Keys HistoryKeys(const std::wstring& settingsFile)
{
    Keys keys;
    for (int n = 1; n <= 9; ++n) {
        const std::wstring key = std::to_wstring(n);
        wchar_t value[1024] = {};
        if (GetPrivateProfileStringW(L"History", key.c_str(), L"<missing>", value, 1024, settingsFile.c_str()) &&
            std::wstring(value) != L"<missing>") {
            keys[key] = value;
        }
    }
    return keys;
}

void WriteHistoryKeys(const std::wstring& settingsFile, const Keys& keys)
{
    for (const auto& key : keys) {
        WritePrivateProfileStringW(L"History", key.first.c_str(), key.second.c_str(), settingsFile.c_str());
    }
}

class History : public testing::Test {
protected:
    ~History() override { SettingsDirectoryPending = savedPending_; }

    TempFolder temp;
    const std::wstring ini = temp / L"sph.ini";

private:
    const bool savedPending_ = SettingsDirectoryPending;
};

TEST_F(History, ScannedFoldersAreRecordedMostRecentFirst)
{
    AddFolderToHistory(ini, L"C:\\a");
    AddFolderToHistory(ini, L"C:\\b");
    AddFolderToHistory(ini, L"C:\\c");
    EXPECT_EQ(HistoryKeys(ini), (Keys{{L"1", L"C:\\c"}, {L"2", L"C:\\b"}, {L"3", L"C:\\a"}}));
    EXPECT_EQ(ReadFolderHistory(ini), (Folders{L"C:\\c", L"C:\\b", L"C:\\a"}));
    EXPECT_EQ(ReadFirstHistoryFolder(ini), L"C:\\c");
}

TEST_F(History, RescannedFolderMovesToTheFront)
{
    WriteHistoryKeys(ini, {{L"1", L"E1"}, {L"2", L"E2"}, {L"3", L"E3"}, {L"4", L"E4"}, {L"5", L"E5"}});
    AddFolderToHistory(ini, L"E3");
    EXPECT_EQ(HistoryKeys(ini), (Keys{{L"1", L"E3"}, {L"2", L"E1"}, {L"3", L"E2"}, {L"4", L"E4"}, {L"5", L"E5"}}));
}

TEST_F(History, NinthFolderDropsTheOldest)
{
    WriteHistoryKeys(ini, {{L"1", L"E1"}, {L"2", L"E2"}, {L"3", L"E3"}, {L"4", L"E4"},
                           {L"5", L"E5"}, {L"6", L"E6"}, {L"7", L"E7"}, {L"8", L"E8"}});
    AddFolderToHistory(ini, L"N");
    EXPECT_EQ(HistoryKeys(ini), (Keys{{L"1", L"N"}, {L"2", L"E1"}, {L"3", L"E2"}, {L"4", L"E3"},
                                      {L"5", L"E4"}, {L"6", L"E5"}, {L"7", L"E6"}, {L"8", L"E7"}}));
    // A key beyond eight is neither read nor written.
    WritePrivateProfileStringW(L"History", L"9", L"E9", ini.c_str());
    EXPECT_EQ(ReadFolderHistory(ini).size(), 8u);
}

TEST_F(History, MissingKeysCloseUpAndAStaleKeyBeyondTheWrittenOnesStays)
{
    WriteHistoryKeys(ini, {{L"1", L"E1"}, {L"2", L"E2"}, {L"5", L"E5"}});
    EXPECT_EQ(ReadFolderHistory(ini), (Folders{L"E1", L"E2", L"E5"}));
    AddFolderToHistory(ini, L"N");
    EXPECT_EQ(HistoryKeys(ini), (Keys{{L"1", L"N"}, {L"2", L"E1"}, {L"3", L"E2"}, {L"4", L"E5"}, {L"5", L"E5"}}));
    EXPECT_EQ(ReadFolderHistory(ini), (Folders{L"N", L"E1", L"E2", L"E5", L"E5"}));

    WriteHistoryKeys(ini, {{L"1", L""}});
    EXPECT_EQ(ReadFirstHistoryFolder(ini), L"E1");
    EXPECT_EQ(ReadFirstHistoryFolder(temp / L"none.ini"), L"");
    EXPECT_TRUE(ReadFolderHistory(temp / L"none.ini").empty());
}

TEST_F(History, FoldersAreComparedByExactTextNotAsPaths)
{
    AddFolderToHistory(ini, L"C:\\Plugins");
    AddFolderToHistory(ini, L"c:\\plugins");
    AddFolderToHistory(ini, L"C:\\Plugins\\");
    EXPECT_EQ(ReadFolderHistory(ini), (Folders{L"C:\\Plugins\\", L"c:\\plugins", L"C:\\Plugins"}));
    AddFolderToHistory(ini, L"C:\\Plugins");
    EXPECT_EQ(ReadFolderHistory(ini), (Folders{L"C:\\Plugins", L"C:\\Plugins\\", L"c:\\plugins"}));
}

TEST_F(History, FolderThatIsFirstAlreadyIsNotWrittenAgain)
{
    WriteHistoryKeys(ini, {{L"1", L"E1"}, {L"2", L"E2"}});
    FlushProfileCache(ini);
    const std::string before = ReadBytes(ini);
    // An old time stamp shows any rewrite, even one with the same content.
    HANDLE file = CreateFileW(ini.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME old = {0x12345678u, 0x01C00000u};
    SetFileTime(file, nullptr, nullptr, &old);
    CloseHandle(file);

    SettingsDirectoryPending = true;
    AddFolderToHistory(ini, L"E1");
    FlushProfileCache(ini);

    WIN32_FILE_ATTRIBUTE_DATA after = {};
    ASSERT_TRUE(GetFileAttributesExW(ini.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&after.ftLastWriteTime, &old), 0);
    EXPECT_EQ(ReadBytes(ini), before);
    EXPECT_TRUE(SettingsDirectoryPending) << "the settings folder must not be created for nothing";
}

TEST_F(History, SettingsFolderIsCreatedByTheFirstWriteOnly)
{
    SettingsDirectoryPending = true;
    const std::wstring first = temp / L"one\\two\\sph.ini";
    AddFolderToHistory(first, L"C:\\a");
    EXPECT_FALSE(SettingsDirectoryPending);
    EXPECT_EQ(ReadFolderHistory(first), Folders{L"C:\\a"});

    AddFolderToHistory(temp / L"three\\four\\sph.ini", L"C:\\b");
    EXPECT_FALSE(FolderExists(temp / L"three"));
}

TEST_F(History, FolderNamesOutsideTheAnsiCodePageSurviveARestart)
{
    const std::wstring folder = L"C:\\写真\\José\\한국\\x";
    AddFolderToHistory(ini, folder);
    FlushProfileCache(ini);
    EXPECT_EQ(ReadBytes(ini).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadFolderHistory(ini), Folders{folder});

    // A file that exists already keeps the encoding it has.
    const std::wstring ansi = temp / L"ansi.ini";
    ASSERT_TRUE(WriteBytes(ansi, "[History]\r\n1=C:\\old\r\n"));
    AddFolderToHistory(ansi, L"C:\\new");
    FlushProfileCache(ansi);
    EXPECT_EQ(ReadBytes(ansi).substr(0, 9), "[History]");
    EXPECT_EQ(ReadFolderHistory(ansi), (Folders{L"C:\\new", L"C:\\old"}));
}

TEST_F(History, OverlongValueIsCutTo32768Characters)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(40000, L'x');
    WritePrivateProfileStringW(L"History", L"1", longFolder.c_str(), ini.c_str());
    const Folders history = ReadFolderHistory(ini);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0], longFolder.substr(0, 32768));
}

// The real settings file and Susie's registry value, put back after each test.
class StartupFolder : public testing::Test {
protected:
    SettingsSandbox sandbox;
    const std::wstring settings = GetSettingsFilePath(nullptr);
};

TEST_F(StartupFolder, HistoryComesFirstThenSusiesFolderThenTheProgramsOwn)
{
    ASSERT_EQ(settings, SettingsFilePath());
    EXPECT_EQ(GetInitialFolder(nullptr), ExecutableDir());

    sandbox.SetSusieFolder(L"C:\\Susie\\Plug-ins");
    EXPECT_EQ(GetInitialFolder(nullptr), L"C:\\Susie\\Plug-ins");

    SHCreateDirectoryExW(nullptr, settings.substr(0, settings.rfind(L'\\')).c_str(), nullptr);
    WritePrivateProfileStringW(L"History", L"1", L"D:\\Recent", settings.c_str());
    EXPECT_EQ(GetInitialFolder(nullptr), L"D:\\Recent");
}

TEST_F(StartupFolder, SusiesFolderCountsOnlyAsANonEmptyPlainString)
{
    sandbox.SetSusieFolder(L"%USERPROFILE%\\Susie", REG_EXPAND_SZ);
    EXPECT_EQ(ReadSusiePluginFolder(), L"");
    EXPECT_EQ(GetInitialFolder(nullptr), ExecutableDir());

    sandbox.SetSusieFolder(L"");
    EXPECT_EQ(ReadSusiePluginFolder(), L"");
    EXPECT_EQ(GetInitialFolder(nullptr), ExecutableDir());

    // Data stored without its terminating zero is still read whole, and no further.
    sandbox.SetSusieFolder(L"C:\\Unterminated", REG_SZ, false);
    EXPECT_EQ(ReadSusiePluginFolder(), L"C:\\Unterminated");
}

}  // namespace
