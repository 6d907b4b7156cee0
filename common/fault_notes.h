// Hardware faults raised in a plug-in's code during a guarded call, noted also where no handler
// of ours ran.
//
// Some of a plug-in's code runs through a kernel callback: its window procedures, for what the
// window manager itself sends (WM_NCCREATE, WM_CREATE, sizing, activation, painting; and every
// message while a WH_CALLWNDPROC hook is set, as input methods and accessibility tools set them).
// A fault there never reaches the fault guard: with the user-mode callback filter on (plugin_call.h)
// 64-bit Windows ends that callback and goes on, and so does Wine (measured under Wine 8: a window
// procedure of a plug-in that faults in WM_NCCREATE makes CreateWindowEx return null and the
// plug-in's call return as if nothing had happened; no frame-based handler below the callback
// runs, a vectored one does). A loader that contains a fault of DllMain does the same. The plug-in
// then goes on in a state nobody knows, so such a fault counts as the call's, as one the guard
// contains.
//
// A vectored handler sees every exception before any frame does, so it notes, for the thread
// inside a guarded call, the image of each hardware fault; it handles nothing (why it cannot be
// the guard itself: fault_guard.h). A plug-in that takes such a fault and handles it itself is
// told from a swallowed one by nobody: its call counts as faulted too, which keeps it loaded and
// beeps, harmlessly. A C++ exception or a RaiseException code is no hardware fault and is never
// noted: a plug-in may throw and catch as it likes.
#pragma once

#include <windows.h>

// Faults noted so far; a later count has seen more.
using FaultCount = unsigned long long;

// The plug-in images faults are told for: noted at each load, forgotten once a free has unmapped
// the image (loaded twice, it stays mapped until the last free). A library never freed (it
// faulted, or code of it can still run) stays noted.
void NotePluginImage(HMODULE library);
void ForgetPluginImage(HMODULE library);

// Marks a guarded call on the calling thread for its length; nested calls nest. Plug-ins are
// called on one thread: a call made meanwhile on another thread is not watched.
class FaultWatch {
public:
    FaultWatch();
    ~FaultWatch();
    FaultWatch(const FaultWatch&) = delete;
    FaultWatch& operator=(const FaultWatch&) = delete;

    // Whether a hardware fault was raised since the watch began in the image of a noted plug-in,
    // or of library (one just loaded, not noted yet); also when some faults could not be noted.
    bool SawPluginFault(HMODULE library = nullptr) const;

private:
    FaultCount begun_;
    bool watching_;
    bool outermost_;
};
