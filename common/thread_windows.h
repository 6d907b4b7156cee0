// Our thread's windows of every kind (top-level, child, message-only), each with the moment it
// was made, known without walking the desktop.
//
// The thread's windows are looked up once, when first asked for; from then on a CBT hook of the
// thread sees each window as it is made. A walk over the message-only windows steps through those
// of every program of the desktop, and ends early when another program destroys the window it
// stands on; and under Wine every step of a walk over a window's children asks the window server,
// so that two walks over our dialog cost about as much as loading the plug-in.
#pragma once

#include <windows.h>

#include <vector>

// A moment in the thread's life, in windows made: a window made later has a greater one.
using WindowMoment = unsigned long long;

struct ThreadWindow {
    HWND window;
    WindowMoment made;  // 0 for those that were there when the watch began
};

// Now; the watch begins with the first call (of the thread that makes every later call).
WindowMoment CurrentWindowMoment();

// The thread's live windows. With lookAgain, its top-level windows are listed once more (one
// call to the window manager), and any the hook did not see made (another hook before ours that
// does not pass the event on, say) count as made now, with their children. False, the list
// incomplete, when the thread cannot be watched (asked from another thread, or the hook or the
// first look failed): callers then assume the worst.
bool ListThreadWindows(std::vector<ThreadWindow>& windows, bool lookAgain);

// Unregisters the window classes of module's instance that windows made on the thread were of,
// since the watch began. A library must unregister its classes itself, the system does not when it
// is freed: only once none of their windows lives, and the library is gone or about to go.
void UnregisterWindowClassesOf(HMODULE module);
