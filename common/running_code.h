// What of a loaded plug-in can still run once the call that loaded it has returned: a thread of
// the process that runs its code, a window of our thread whose procedure or class is its own, a
// window of ours it subclassed. Freeing the library under any of them would run freed memory.
#pragma once

#include <windows.h>

#include <vector>

// One mapped image: from its base to the end of the last region of the same allocation.
struct ImageRange {
    UINT_PTR begin = 0;
    UINT_PTR end = 0;
    bool Holds(UINT_PTR address) const { return address >= begin && address < end; }
};

// Read from the memory map rather than from the image's own headers, which its code can change.
// Empty for a module that is not mapped (or null).
ImageRange RangeOf(HMODULE module);

// Our thread's windows as they were just before a plug-in was loaded, each with its window
// procedure and, for a dialog, its dialog procedure. The free compares what is there then with it.
struct CodeBeforeLoad {
    struct Window {
        HWND window;
        UINT_PTR procedure;
        UINT_PTR dialogProcedure;
    };
    std::vector<Window> windows;
    bool known = false;  // false when our thread's windows could not be known
};

CodeBeforeLoad RecordCodeBeforeLoad();

// Whether code of the library can still run; true whenever that cannot be told.
bool CodeMayStillRun(HMODULE library, const CodeBeforeLoad& before);

// Whether one of the window's procedures or its class's procedure lies in the image, or its
// class or the window itself was made for the library's module.
bool WindowBelongsTo(HWND window, const ImageRange& image, HMODULE library);
