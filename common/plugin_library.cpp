#include "plugin_library.h"

#include <vector>

#include "fault_guard.h"

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

PluginLibrary LoadPluginLibrary(const std::wstring& path, bool* faulted)
{
    if (faulted) *faulted = false;
    const std::wstring absolute = AbsolutePluginPath(path);
    const wchar_t* file = absolute.c_str();
    // Before the load: the plug-in's DllMain, which runs inside it, may start threads too.
    CodeBeforeLoad before = RecordCodeBeforeLoad();
    HMODULE library = nullptr;
    auto load = [file, &library] { library = LoadLibraryExW(file, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH); };
    if (!CallContained(load)) {
        if (faulted) *faulted = true;
        library = nullptr;
    }
    return PluginLibrary(library, std::move(before));
}

bool PluginLibrary::Free()
{
    if (!library_) return true;
    HMODULE library = library_;
    library_ = nullptr;
    // A thread, window or subclass of the plug-in that lives on would run in freed memory.
    if (CodeMayStillRun(library, before_)) return true;
    auto free = [library] { FreeLibrary(library); };
    return CallContained(free);
}
