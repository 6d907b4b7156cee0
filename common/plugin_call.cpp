#include "plugin_call.h"

#include "plugin.h"
#include "plugin_library.h"

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

}  // namespace

PluginCallScope::PluginCallScope(HWND owner)
    : owner_(owner),
      focus_(GetFocus()),
      wasActive_(owner && GetActiveWindow() == owner),
      disabled_(owner && IsWindowEnabled(owner)),
      previousDpiContext_(nullptr)
{
    if (disabled_) EnableWindow(owner_, FALSE);
    if (const auto setContext = ThreadDpiSetter()) {
        // GDI scaling is not a valid context before Windows 10 1809: the call then fails.
        previousDpiContext_ = setContext(kUnawareGdiScaled);
        if (!previousDpiContext_) previousDpiContext_ = setContext(kUnaware);
    }
}

PluginCallScope::~PluginCallScope()
{
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
