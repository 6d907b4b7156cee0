#include "thread_windows.h"

namespace {

// Children of our windows may belong to other threads; only our thread's are collected.
BOOL CALLBACK CollectOurWindow(HWND window, LPARAM list)
{
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> ThreadWindows(bool all)
{
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectOurWindow, reinterpret_cast<LPARAM>(&windows));
    if (!all) return windows;
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        CollectOurWindow(window, reinterpret_cast<LPARAM>(&windows));
    }
    const size_t topLevel = windows.size();
    for (size_t i = 0; i < topLevel; ++i) {
        EnumChildWindows(windows[i], CollectOurWindow, reinterpret_cast<LPARAM>(&windows));
    }
    return windows;
}
