#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <clocale>
#include <string>
#include <vector>

#include "intercept.h"
#include "module.h"
#include "process_ui.h"

TEST(LoadResourceString, MissingEntryIsEmpty)
{
    EXPECT_EQ(LoadResourceString(1), L"");
    EXPECT_EQ(LoadResourceString(65535), L"");
}

TEST(LoadResourceString, KeepsTabsAndLineBreaksWithFullLength)
{
    EXPECT_EQ(LoadResourceString(200), L"使い方:\t");
    const std::wstring usage = LoadResourceString(201);
    EXPECT_EQ(usage, L".exe Susieプラグインへのフルパス\r\n\t単純にドラッグ＆ドロップでも可");
    EXPECT_EQ(usage.size(), 39u);
}

TEST(LoadResourceString, CutsTextsLongerThan4095Characters)
{
    const std::wstring text = LoadResourceString(202);
    ASSERT_EQ(text.size(), 4095u);
    EXPECT_EQ(text.substr(0, 10), L"あいうえおかきくけこ");
    EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
}

TEST(ProgramName, IsFileNameWithoutExtension)
{
    EXPECT_STREQ(GetProgramName(), L"common_test");
    EXPECT_EQ(GetProgramName(), GetProgramName());
}

TEST(VersionString, ReadsTheFirstTranslationDespiteLowerCaseBlockName)
{
    EXPECT_STREQ(GetVersionString(L"ProductName", L"fallback"), L"共通テスト");
    EXPECT_STREQ(GetVersionString(L"ProductVersion", nullptr), L"9.8.7.6");
    const VersionResourceRecord& record = VersionResource();
    ASSERT_NE(record.translation, nullptr);
    EXPECT_EQ(record.translation[0], 0x0411);
    EXPECT_EQ(record.translation[1], 0x04B0);
}

TEST(VersionString, FallsBackForMissingOrNullKey)
{
    EXPECT_STREQ(GetVersionString(L"LegalCopyright", L"Plexmoor1"), L"Plexmoor1");
    EXPECT_STREQ(GetVersionString(L"LegalCopyright", nullptr), L"");
    EXPECT_STREQ(GetVersionString(nullptr, L"Plexmoor2"), L"Plexmoor2");
    const wchar_t* empty = GetVersionString(nullptr, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, L"");
}

TEST(VersionString, ResultPointsIntoTheCachedBlock)
{
    const wchar_t* first = GetVersionString(L"ProductName", nullptr);
    const VersionResourceRecord& record = VersionResource();
    const BYTE* begin = record.data.data();
    const BYTE* end = begin + record.data.size();
    const BYTE* p = reinterpret_cast<const BYTE*>(first);
    EXPECT_TRUE(p >= begin && p < end);
    EXPECT_EQ(first, GetVersionString(L"ProductName", nullptr));
}

// Earlier tests of this program have built the cache: the threads race in a fresh process,
// whose exit code also tells of a record torn by two builders at once.
TEST(VersionResource, IsBuiltOnceAcrossThreads)
{
    Program fresh(ExecutablePath(),
                  L"--gtest_also_run_disabled_tests --gtest_filter=VersionResource.DISABLED_RaceInAFreshProcess");
    EXPECT_EQ(fresh.Wait(20000), 0u);
}

TEST(VersionResource, DISABLED_RaceInAFreshProcess)
{
    constexpr int kRacers = 8;
    // Handing the processor over this often lets a racer that is at the door but not yet running
    // walk in, also on a busy machine; it costs little when all of them are stopped there.
    constexpr int kYields = 100;
    static std::atomic<int> atDoor{0};
    static std::atomic<int> builds{0};
    // The construction's first step seen from outside is its lookup of GetFileVersionInfoSizeW.
    // The first builder stays inside until every racer is at the door, then hands them the
    // processor: one-time initialisation keeps them waiting, without it they build too.
    struct Door {
        static bool Lookup(HMODULE, const char* name, FARPROC&)
        {
            if (std::string(name) == "GetFileVersionInfoSizeW" && ++builds == 1) {
                while (atDoor < kRacers) SwitchToThread();
                for (int i = 0; i < kYields && builds == 1; ++i) SwitchToThread();
            }
            return false;
        }
        // Threads of Win32's own: GCC 12's win32 thread model has no std::thread.
        static DWORD WINAPI Race(void*)
        {
            ++atDoor;
            VersionResource();
            return 0;
        }
    };
    const LookupIntercept door(&Door::Lookup);
    ASSERT_TRUE(door.Active());
    std::vector<handles::UniqueHandle> threads;
    for (int i = 0; i < kRacers; ++i) {
        threads.emplace_back(CreateThread(nullptr, 0, &Door::Race, nullptr, 0, nullptr));
    }
    for (const auto& t : threads) ASSERT_TRUE(t);
    for (const auto& t : threads) WaitForSingleObject(t.get(), INFINITE);
    EXPECT_EQ(builds, 1);
    ASSERT_NE(VersionResource().translation, nullptr);
    EXPECT_EQ(VersionResource().translation[0], 0x0411);
}

TEST(Locale, StepSetsJapaneseLocaleForAllCategories)
{
    ApplyLocaleFromStringTable(203);
    const wchar_t* current = _wsetlocale(LC_ALL, nullptr);
    ASSERT_NE(current, nullptr);
    EXPECT_NE(std::wstring(current).find(L"Japanese"), std::wstring::npos) << current;
    _wsetlocale(LC_ALL, L"C");
}

// Windows hands a parent's error mode down to the processes it starts (Wine does not).
TEST(ErrorMode, CriticalErrorsFailQuietlyAndInheritedBitsStay)
{
    const UINT before = SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    FailCriticalErrorsQuietly();
    EXPECT_EQ(SetErrorMode(before), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                                      SEM_NOOPENFILEERRORBOX));
}
