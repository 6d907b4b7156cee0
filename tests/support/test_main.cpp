#include <gtest/gtest.h>

#include <windows.h>

#include "module.h"

int wmain(int argc, wchar_t** argv)
{
    // The code under test loads its dialogs, menus and strings from the running module,
    // which for a test program carries the same resources as the real executable.
    SetInstanceHandle(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
