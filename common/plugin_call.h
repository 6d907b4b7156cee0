// What every call into a plug-in's code (its load and DllMain, GetPluginInfo, ConfigurationDlg,
// its free) runs inside, at each call site with one line.
#pragma once

#include <windows.h>

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
class PluginCallScope {
public:
    explicit PluginCallScope(HWND owner);
    ~PluginCallScope();
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;

private:
    HWND owner_;
    HWND focus_;
    bool wasActive_;
    bool disabled_;
    HANDLE previousDpiContext_;  // null when the awareness was not changed
};
