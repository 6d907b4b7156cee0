// The main of every test program: the helper processes a test starts from its own program
// (the clipboard holder) branch off here, before GoogleTest sees the command line.
#include <gtest/gtest.h>

#include <windows.h>

#include "module.h"
#include "ui_driver.h"

int wmain(int argc, wchar_t** argv)
{
    HoldClipboardIfAsked();
    // The code under test loads its dialogs, menus and strings from the running module,
    // which for a test program carries the same resources as the real executable.
    SetInstanceHandle(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
