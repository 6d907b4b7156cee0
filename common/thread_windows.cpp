#include "thread_windows.h"

#include <algorithm>

namespace {

struct Watch {
    DWORD thread = 0;
    HHOOK hook = nullptr;
    // False until the first look has succeeded, and again for good once a window may have been
    // missed (no memory to note one).
    bool complete = false;
    WindowMoment now = 0;
    std::vector<ThreadWindow> windows;
};

// The class of every window made since the watch began, each once; one more is not kept (it stays
// registered, as every class did before), so that noting one never fails. Zero at start, with no
// initializer of its own: it takes no room in the program file.
struct SeenClasses {
    struct Class {
        ATOM atom;
        HMODULE module;
    } classes[64];
    unsigned count;
};
SeenClasses g_seenClasses;

Watch& TheWatch()
{
    static Watch watch;
    return watch;
}

bool Known(const Watch& watch, HWND window)
{
    return std::any_of(watch.windows.begin(), watch.windows.end(),
                       [window](const ThreadWindow& known) { return known.window == window; });
}

void Forget(Watch& watch, HWND window)
{
    watch.windows.erase(std::remove_if(watch.windows.begin(), watch.windows.end(),
                                       [window](const ThreadWindow& known) { return known.window == window; }),
                        watch.windows.end());
}

// A handle of a destroyed window may come back for a new one: the old entry goes first.
void Note(Watch& watch, HWND window, WindowMoment made)
{
    Forget(watch, window);
    try {
        watch.windows.push_back({window, made});
    } catch (...) {
        watch.complete = false;
    }
}

void NoteClass(HWND window)
{
    SeenClasses& seen = g_seenClasses;
    const auto atom = static_cast<ATOM>(GetClassLongPtrW(window, GCW_ATOM));
    const auto module = reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE));
    const bool known = std::any_of(seen.classes, seen.classes + seen.count, [atom, module](const SeenClasses::Class& one) {
        return one.atom == atom && one.module == module;
    });
    if (atom && !known && seen.count < sizeof(seen.classes) / sizeof(seen.classes[0])) seen.classes[seen.count++] = {atom, module};
}

// Runs inside whatever made or destroys the window, plug-in code included: it never throws, and
// always passes the event on (a nonzero answer would stop the window from being made).
LRESULT CALLBACK SeeWindow(int code, WPARAM wParam, LPARAM lParam)
{
    Watch& watch = TheWatch();
    if (code == HCBT_CREATEWND) {
        Note(watch, reinterpret_cast<HWND>(wParam), ++watch.now);
        NoteClass(reinterpret_cast<HWND>(wParam));
    } else if (code == HCBT_DESTROYWND) {
        Forget(watch, reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Children of our windows may belong to other threads; only our thread's are collected.
BOOL CALLBACK CollectOurs(HWND window, LPARAM list)
{
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

void CollectWithChildren(const std::vector<HWND>& topLevel, std::vector<HWND>& found)
{
    for (HWND window : topLevel) {
        found.push_back(window);
        EnumChildWindows(window, CollectOurs, reinterpret_cast<LPARAM>(&found));
    }
}

// Every window the thread has now. Message-only windows are the children of one window of the
// system, reached from any of them; listed at once, rather than stepped through from one to the
// next, so that a window another program destroys meanwhile ends nothing early.
bool LookAtEverything(std::vector<HWND>& found)
{
    std::vector<HWND> topLevel;
    EnumThreadWindows(GetCurrentThreadId(), CollectOurs, reinterpret_cast<LPARAM>(&topLevel));
    CollectWithChildren(topLevel, found);
    HWND root = nullptr;
    for (int tries = 0; tries < 8 && !root; ++tries) {
        HWND any = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (!any) return true;
        // Null when that window was destroyed in between.
        root = GetAncestor(any, GA_PARENT);
    }
    if (!root || root == GetDesktopWindow()) return false;
    EnumChildWindows(root, CollectOurs, reinterpret_cast<LPARAM>(&found));
    return true;
}

// Whether the calling thread's windows are watched, beginning the watch on the first call.
bool Watching()
{
    Watch& watch = TheWatch();
    if (watch.thread) return watch.thread == GetCurrentThreadId() && watch.complete;
    watch.thread = GetCurrentThreadId();
    // Before the look, so that no window made in between is missed.
    watch.hook = SetWindowsHookExW(WH_CBT, SeeWindow, nullptr, watch.thread);
    if (!watch.hook) return false;
    try {
        std::vector<HWND> found;
        if (!LookAtEverything(found)) return false;
        watch.complete = true;
        for (HWND window : found) Note(watch, window, 0);
    } catch (...) {
        watch.complete = false;
    }
    return watch.complete;
}

}  // namespace

WindowMoment CurrentWindowMoment()
{
    Watching();
    return TheWatch().now;
}

bool ListThreadWindows(std::vector<ThreadWindow>& windows, bool lookAgain)
{
    windows.clear();
    if (!Watching()) return false;
    Watch& watch = TheWatch();
    // A child goes with its parent without an event of its own.
    watch.windows.erase(std::remove_if(watch.windows.begin(), watch.windows.end(),
                                       [](const ThreadWindow& known) { return !IsWindow(known.window); }),
                        watch.windows.end());
    if (lookAgain) {
        std::vector<HWND> topLevel;
        EnumThreadWindows(GetCurrentThreadId(), CollectOurs, reinterpret_cast<LPARAM>(&topLevel));
        topLevel.erase(std::remove_if(topLevel.begin(), topLevel.end(),
                                      [&watch](HWND window) { return Known(watch, window); }),
                       topLevel.end());
        if (!topLevel.empty()) {
            std::vector<HWND> unseen;
            CollectWithChildren(topLevel, unseen);
            const WindowMoment made = ++watch.now;
            for (HWND window : unseen) {
                if (!Known(watch, window)) Note(watch, window, made);
            }
        }
    }
    windows = watch.windows;
    return watch.complete;
}

void UnregisterWindowClassesOf(HMODULE module)
{
    if (TheWatch().thread != GetCurrentThreadId()) return;
    SeenClasses& seen = g_seenClasses;
    unsigned kept = 0;
    for (unsigned index = 0; index < seen.count; ++index) {
        const SeenClasses::Class one = seen.classes[index];
        if (one.module == module) {
            UnregisterClassW(MAKEINTATOM(one.atom), module);
        } else {
            seen.classes[kept++] = one;
        }
    }
    seen.count = kept;
}
