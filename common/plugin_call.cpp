#include "plugin_call.h"

#include <algorithm>
#include <cwchar>

#include "fault_guard.h"
#include "plugin.h"
#include "thread_windows.h"

namespace {

// DPI_AWARENESS_CONTEXT values; the type and constants come with headers for Windows 10 only.
const HANDLE kUnawareGdiScaled = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-5));
const HANDLE kUnaware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
typedef HANDLE(WINAPI* SetThreadDpiAwarenessContextFn)(HANDLE context);

// user32 is imported by both programs, so it is loaded already, from the system folder:
// looking it up by module handle loads nothing and searches nowhere.
SetThreadDpiAwarenessContextFn ThreadDpiSetter()
{
    return GetPluginExport<SetThreadDpiAwarenessContextFn>(GetModuleHandleW(L"user32.dll"),
                                                           "SetThreadDpiAwarenessContext");
}

// Whether window is owner itself or one of its children (false when either is null).
bool IsWindowWithin(HWND window, HWND owner)
{
    return window && owner && (window == owner || IsChild(owner, window));
}

// The input method's windows come and go with the system's own timing; they are not the plug-in's.
bool IsInputMethodWindow(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, static_cast<int>(sizeof(name) / sizeof(name[0])));
    return std::wcscmp(name, L"IME") == 0 || std::wcscmp(name, L"MSCTFIME UI") == 0;
}

}  // namespace

PluginCallScope::PluginCallScope(HWND owner)
    : owner_(owner),
      focus_(GetFocus()),
      wasActive_(owner && GetActiveWindow() == owner),
      disabled_(owner && IsWindowEnabled(owner)),
      windows_(ThreadWindows())
{
    if (disabled_) EnableWindow(owner_, FALSE);
    if (const auto setContext = ThreadDpiSetter()) {
        // GDI scaling is not a valid context before Windows 10 1809: the call then fails.
        previousDpiContext_ = setContext(kUnawareGdiScaled);
        if (!previousDpiContext_) previousDpiContext_ = setContext(kUnaware);
    }
}

void PluginCallScope::PutBackAfterFault()
{
    EndMenu();
    if (GetCapture()) ReleaseCapture();
    // Enabled before its owned windows go, so that the activation falls back to it.
    if (owner_) EnableWindow(owner_, TRUE);
    for (HWND window : ThreadWindows()) {
        if (!IsWindow(window) || IsInputMethodWindow(window)) continue;
        if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) continue;
        // Destroying runs the plug-in's window procedure once more, which may fault again.
        auto destroy = [window] { DestroyWindow(window); };
        CallContained(destroy);
    }
    if (!owner_ || !IsWindowWithin(focus_, owner_) || IsWindowWithin(GetFocus(), owner_)) return;
    SetActiveWindow(owner_);
    SetFocus(IsWindow(focus_) && IsWindowEnabled(focus_) ? focus_ : owner_);
}

void PluginCallScope::Restore()
{
    if (restored_) return;
    restored_ = true;
    if (faulted_) PutBackAfterFault();
    if (previousDpiContext_) {
        if (const auto setContext = ThreadDpiSetter()) setContext(previousDpiContext_);
    }
    if (!disabled_) return;
    EnableWindow(owner_, TRUE);
    // An owner-less window of the plug-in that closed while the owner was disabled handed the
    // activation to another program's window, when there was one.
    if (wasActive_ && !GetActiveWindow()) SetForegroundWindow(owner_);
    if (IsWindowWithin(focus_, owner_) && GetFocus() != focus_ && IsWindowEnabled(focus_)) SetFocus(focus_);
}
