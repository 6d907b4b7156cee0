#include "plugin_library.h"

#include <vector>

#include "fault_guard.h"
#include "fault_notes.h"
#include "thread_windows.h"

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
    // Outside the guard's own watch: a fault of DllMain that the loader contained is told by the
    // library's image, which is known only once the load has returned.
    const FaultWatch watch;
    const bool returned = CallContained(load);
    NotePluginImage(library);
    if (!returned || watch.SawPluginFault(library)) {
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
    const bool clean = CallContained(free);
    // Still mapped: another load holds it (the refresh after a settings dialog, say), or the free
    // faulted part way. Its classes stay while it does: it may have registered them once, at attach.
    const ImageRange image = RangeOf(library);
    if (image.begin != image.end) return clean;
    ForgetPluginImage(library);
    // The system unregisters no class of a freed library: loaded again, the plug-in could not
    // register its class anew, and at another address the class's procedure would point into
    // freed memory. None of their windows lives (CodeMayStillRun), so each can go.
    UnregisterWindowClassesOf(library);
    return clean;
}
