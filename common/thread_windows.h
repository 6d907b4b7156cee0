// Our thread's windows, as the window manager lists them now.
#pragma once

#include <windows.h>

#include <vector>

// Our thread's top-level windows; with all, also its message-only windows and every child.
std::vector<HWND> ThreadWindows(bool all = false);
