#include "plugin_library.h"

#include <algorithm>
#include <cwchar>

#include "fault_guard.h"

namespace {

std::vector<HWND> ThreadWindows()
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The input method's windows come and go with the system's own timing; they are not the plug-in's.
bool IsSystemWindow(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, static_cast<int>(sizeof(name) / sizeof(name[0])));
    return std::wcscmp(name, L"IME") == 0 || std::wcscmp(name, L"MSCTFIME UI") == 0;
}

bool IsWithin(HWND window, HWND owner) { return window && owner && (window == owner || IsChild(owner, window)); }

}  // namespace

std::wstring AbsolutePluginPath(const std::wstring& path)
{
    // Sized by asking first: a buffer for the longest path, taken and given back at every
    // load, made the process's committed memory grow by its size each time under Wine.
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    return std::wstring(full.data(), length);
}

HMODULE LoadPluginLibrary(const std::wstring& path, bool* faulted)
{
    if (faulted) *faulted = false;
    const std::wstring absolute = AbsolutePluginPath(path);
    const wchar_t* file = absolute.c_str();
    HMODULE library = nullptr;
    // The plug-in's DllMain runs inside the load.
    auto load = [file, &library] { library = LoadLibraryExW(file, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH); };
    if (CallContained(load)) return library;
    if (faulted) *faulted = true;
    return nullptr;
}

bool PluginLibrary::Free()
{
    if (!library_) return true;
    HMODULE library = library_;
    library_ = nullptr;
    auto free = [library] { FreeLibrary(library); };
    return CallContained(free);
}

WindowsBeforePluginCall::WindowsBeforePluginCall(HWND owner)
    : owner_(owner), focus_(GetFocus()), windows_(ThreadWindows())
{
}

void WindowsBeforePluginCall::RestoreAfterFault() const
{
    EndMenu();
    if (GetCapture()) ReleaseCapture();
    // Enabled before its owned windows go, so that the activation falls back to it.
    if (owner_) EnableWindow(owner_, TRUE);
    for (HWND window : ThreadWindows()) {
        if (!IsWindow(window) || IsSystemWindow(window)) continue;
        if (std::find(windows_.begin(), windows_.end(), window) != windows_.end()) continue;
        // Destroying runs the plug-in's window procedure once more, which may fault again.
        auto destroy = [window] { DestroyWindow(window); };
        CallContained(destroy);
    }
    if (!owner_ || !IsWithin(focus_, owner_) || IsWithin(GetFocus(), owner_)) return;
    SetActiveWindow(owner_);
    SetFocus(IsWindow(focus_) && IsWindowEnabled(focus_) ? focus_ : owner_);
}
