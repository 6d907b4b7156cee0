// What a test needs of the system beyond Windows itself. The test bundle runs on any Windows:
// a test that needs what only a Japanese system or the build machine's Wine prefix gives skips
// itself elsewhere, with its reason, and every other test runs.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

inline bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// run-tests.cmd sets PLEXMOOR_TEST_BUNDLE; under ctest a prefix without code page 932 is an error.
inline bool InTestBundle() { return GetEnvironmentVariableW(L"PLEXMOOR_TEST_BUNDLE", nullptr, 0) != 0; }

// Plug-ins answer in the ANSI code page; Japanese ones, in Shift-JIS, read right only where it is 932.
#define SKIP_WITHOUT_JAPANESE_CODE_PAGE()                                                                     \
    if (GetACP() == 932) {                                                                                    \
    } else                                                                                                    \
        GTEST_SKIP() << "needs the ANSI code page 932 (Japanese as the language for non-Unicode programs); " \
                        "this system's is "                                                                   \
                     << GetACP()

#define SKIP_OUTSIDE_WINE(why)                                              \
    if (UnderWine()) {                                                      \
    } else                                                                  \
        GTEST_SKIP() << "needs the Wine prefix of the build machine: " << why
