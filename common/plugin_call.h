// What every call into a plug-in's code (its load and DllMain, GetPluginInfo, ConfigurationDlg,
// its free) runs inside: one object per call, or per series of calls that one user action makes.
#pragma once

#include <windows.h>

#include <vector>

#include "running_code.h"
#include "thread_windows.h"

// For the scope's life:
// - The owner window (the browser's dialog) is disabled, so that nothing the user does reaches
//   it while the plug-in runs. A plug-in that shows a message box without an owner, or a
//   settings dialog that ignores its parent, runs a modal loop of its own on our thread that
//   would otherwise deliver a new selection or a second Settings click into the middle of the
//   call. Afterwards the owner is enabled again only when this scope disabled it, and the
//   keyboard focus, which disabling drops, is given back.
// - The thread is DPI-unaware, scaled by GDI where Windows can (1809 and later): old plug-ins
//   lay out and draw their dialogs in the pixels of 96 DPI, which is how Windows showed them in
//   the unaware programs they were written for (system awareness would hand them real pixels at
//   the system's DPI, where such a dialog comes out just as small). A window takes the thread's
//   awareness when it is created, so the plug-in's dialogs get it while our own dialog stays
//   per-monitor aware; our own code creates no window inside the scope. Before Windows 10 1607
//   there is no thread awareness, and nothing changes.
// - On 64-bit Windows, a fault inside a window procedure of the plug-in that the system called
//   ends that call only, as under Wine, instead of the process (plugin_call.cpp); the fault guard
//   then tells the fault from what it noted (fault_notes.h).
// When it ends after a fault (NoteFault), what the faulted plug-in left behind goes too: a plug-in
// that faults inside its own dialog leaves that dialog on screen, its owner disabled, perhaps the
// mouse captured or a menu open. Of the top-level and message-only windows made during the scope,
// those go that belong to a faulted plug-in (a procedure, the class or the module they were made
// for in its image) or are visible; windows that appeared meanwhile and are nobody's but the
// system's (tooltips, input-method windows and the windows they own, text-services windows, made
// as they are first needed, visible or not) stay: destroyed, they would leave the input method or
// the tooltips broken for the rest of the session.
class PluginCallScope {
public:
    explicit PluginCallScope(HWND owner);
    ~PluginCallScope() { Restore(); }
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;

    // Plug-in code faulted inside the scope; library is the plug-in whose code it was, while it is
    // still loaded, or null when that is not known (a fault while it was loaded or freed).
    void NoteFault(HMODULE library = nullptr);
    // Ends the scope now rather than at its end; once.
    void Restore();

private:
    struct Faulted {
        HMODULE library;
        ImageRange image;
    };
    void PutBackAfterFault();

    HWND owner_;
    HWND focus_ = nullptr;
    bool wasActive_ = false;
    bool disabled_ = false;
    bool restored_ = false;
    bool faulted_ = false;
    HANDLE previousDpiContext_ = nullptr;  // null when the awareness was not changed
    DWORD previousCallbackPolicy_ = 0;
    bool callbackPolicySet_ = false;
    WindowMoment begun_;
    std::vector<Faulted> faultedLibraries_;
};
