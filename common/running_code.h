// What of a loaded plug-in can still run once the call that loaded it has returned: a thread of
// the process that runs its code, a window of our thread whose procedure or class is its own, a
// window of ours it subclassed. Freeing the library under any of them would run freed memory.
#pragma once

#include <windows.h>

#include <vector>

// What could run code in the process just before a plug-in was loaded: its threads (id, time
// created) and our thread's windows (handle, window procedure). The free compares what is
// there then with it.
struct CodeBeforeLoad {
    struct Stamp {
        UINT_PTR what;
        UINT_PTR value;
        bool operator==(const Stamp& other) const { return what == other.what && value == other.value; }
    };
    std::vector<Stamp> threads;
    std::vector<Stamp> windows;
};

CodeBeforeLoad RecordCodeBeforeLoad();

// Whether code of the library can still run after the call that loaded it has returned.
bool CodeMayStillRun(HMODULE library, const CodeBeforeLoad& before);
