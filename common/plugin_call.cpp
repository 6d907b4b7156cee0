#include "plugin_call.h"

#include <commctrl.h>

#include <cwchar>

#include "fault_guard.h"
#include "plugin.h"

namespace {

// DPI_AWARENESS_CONTEXT values; the type and constants come with headers for Windows 10 only.
const HANDLE kUnawareGdiScaled = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-5));
const HANDLE kUnaware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
typedef HANDLE(WINAPI* SetThreadDpiAwarenessContextFn)(HANDLE context);

// user32 is imported by both programs, so it is loaded already, from the system folder:
// looking it up by module handle loads nothing and searches nowhere.
SetThreadDpiAwarenessContextFn ThreadDpiSetter()
{
    static const auto setter = GetPluginExport<SetThreadDpiAwarenessContextFn>(GetModuleHandleW(L"user32.dll"),
                                                                               "SetThreadDpiAwarenessContext");
    return setter;
}

// On 64-bit Windows an exception inside a window or dialog procedure that the system called
// through a kernel callback (what the window manager sends on its own: creation, sizing,
// activation, focus, painting, destruction; and every message while a WH_CALLWNDPROC hook is set,
// as input methods and accessibility tools set them) never reaches a frame-based handler below the
// callback, so the fault guard cannot contain it. Since Windows 7 the process then ends
// (0xC000041D), unless its user-mode callback exception filter is on: then only the callback ends
// ("Remarks" of the WindowProc reference; KB976038, the update that brought the two functions,
// which Windows 7 SP1 and later have). Vista and Wine lack them (Wine always ends the callback
// alone), so they are looked up; kernel32 is loaded in every process. With the filter on, the
// system may consult the guard's filter for such an exception but never runs its handler: the
// filter decides and does nothing else, and nothing of ours jumps or restores a context across a
// callback frame.
typedef BOOL(WINAPI* GetProcessUserModeExceptionPolicyFn)(LPDWORD flags);
typedef BOOL(WINAPI* SetProcessUserModeExceptionPolicyFn)(DWORD flags);
constexpr DWORD kProcessCallbackFilterEnabled = 1;  // PROCESS_CALLBACK_FILTER_ENABLED

struct CallbackPolicy {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    GetProcessUserModeExceptionPolicyFn get =
        GetPluginExport<GetProcessUserModeExceptionPolicyFn>(kernel32, "GetProcessUserModeExceptionPolicy");
    SetProcessUserModeExceptionPolicyFn set =
        GetPluginExport<SetProcessUserModeExceptionPolicyFn>(kernel32, "SetProcessUserModeExceptionPolicy");
};

const CallbackPolicy& TheCallbackPolicy()
{
    static const CallbackPolicy policy;
    return policy;
}

// Whether window is owner itself or one of its children (false when either is null).
bool IsWindowWithin(HWND window, HWND owner)
{
    return window && owner && (window == owner || IsChild(owner, window));
}

// Focus and active window in one question to the window manager rather than two.
GUITHREADINFO OurThreadInput()
{
    GUITHREADINFO input = {};
    input.cbSize = sizeof(input);
    if (!GetGUIThreadInfo(GetCurrentThreadId(), &input)) {
        input.hwndFocus = GetFocus();
        input.hwndActive = GetActiveWindow();
    }
    return input;
}

bool HasClass(HWND window, const wchar_t* className)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, static_cast<int>(sizeof(name) / sizeof(name[0])));
    return std::wcscmp(name, className) == 0;
}

typedef HWND(WINAPI* ImmGetDefaultIMEWndFn)(HWND window);

// The input method's default window of our thread; null where there is none. imm32 is loaded by
// user32 wherever input methods can be: looked up by module handle, never loaded.
HWND DefaultInputMethodWindow(HWND owner)
{
    const HMODULE imm32 = GetModuleHandleW(L"imm32.dll");
    const auto get = imm32 ? GetPluginExport<ImmGetDefaultIMEWndFn>(imm32, "ImmGetDefaultIMEWnd") : nullptr;
    return get ? get(owner) : nullptr;
}

// Windows the system makes on our thread as they are first needed, with its own timing, and that
// are nobody's but its own: the input method's (and its candidate and composition windows, which it
// owns), text services', the list views' tooltips.
bool IsSystemWindow(HWND window, HWND inputMethod)
{
    if (HasClass(window, L"MSCTFIME UI") || HasClass(window, TOOLTIPS_CLASSW)) return true;
    // An owner chain ends; a bound keeps a broken one from being followed for ever.
    for (int depth = 0; window && depth < 8; ++depth, window = GetWindow(window, GW_OWNER)) {
        if (window == inputMethod || HasClass(window, L"IME")) return true;
    }
    return false;
}

}  // namespace

PluginCallScope::PluginCallScope(HWND owner) : owner_(owner), begun_(CurrentWindowMoment())
{
    const GUITHREADINFO input = OurThreadInput();
    focus_ = input.hwndFocus;
    wasActive_ = owner && input.hwndActive == owner;
    disabled_ = owner && IsWindowEnabled(owner);
    if (disabled_) EnableWindow(owner_, FALSE);
    if (const auto setContext = ThreadDpiSetter()) {
        // GDI scaling is not a valid context before Windows 10 1809: the call then fails.
        previousDpiContext_ = setContext(kUnawareGdiScaled);
        if (!previousDpiContext_) previousDpiContext_ = setContext(kUnaware);
    }
    const CallbackPolicy& policy = TheCallbackPolicy();
    if (policy.get && policy.set && policy.get(&previousCallbackPolicy_)) {
        callbackPolicySet_ = policy.set(previousCallbackPolicy_ | kProcessCallbackFilterEnabled) != FALSE;
    }
}

void PluginCallScope::NoteFault(HMODULE library)
{
    faulted_ = true;
    // Read now, while the image is surely mapped.
    if (library) faultedLibraries_.push_back({library, RangeOf(library)});
}

void PluginCallScope::PutBackAfterFault()
{
    EndMenu();
    if (GetCapture()) ReleaseCapture();
    // Enabled before its owned windows go, so that the activation falls back to it.
    if (owner_) EnableWindow(owner_, TRUE);
    // Top-level and message-only windows: a child goes with its parent.
    std::vector<ThreadWindow> windows;
    ListThreadWindows(windows, true);
    const HWND inputMethod = DefaultInputMethodWindow(owner_);
    for (const ThreadWindow& made : windows) {
        HWND window = made.window;
        if (made.made <= begun_ || (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) ||
            IsSystemWindow(window, inputMethod)) {
            continue;
        }
        bool faultedOnes = IsWindowVisible(window) != FALSE;
        for (const Faulted& faulted : faultedLibraries_) {
            faultedOnes = faultedOnes || WindowBelongsTo(window, faulted.image, faulted.library);
        }
        // Destroyed meanwhile with its owner.
        if (!faultedOnes || !IsWindow(window)) continue;
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
    if (callbackPolicySet_) TheCallbackPolicy().set(previousCallbackPolicy_);
    if (previousDpiContext_) {
        if (const auto setContext = ThreadDpiSetter()) setContext(previousDpiContext_);
    }
    if (!disabled_) return;
    // After a fault the owner is enabled already.
    if (!faulted_) EnableWindow(owner_, TRUE);
    GUITHREADINFO input = OurThreadInput();
    // An owner-less window of the plug-in that closed while the owner was disabled handed the
    // activation to another program's window, when there was one.
    if (wasActive_ && !input.hwndActive) {
        SetForegroundWindow(owner_);
        input = OurThreadInput();
    }
    if (IsWindowWithin(focus_, owner_) && input.hwndFocus != focus_ && IsWindowEnabled(focus_)) SetFocus(focus_);
}
