// Loading and freeing plug-in libraries, and putting the user interface back after a plug-in
// faulted. Every entry into plug-in code (its DllMain too) goes through the fault guard.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "handles.h"

// The path made absolute (a relative folder from the history or the registry, say), so that
// the loader can search the plug-in's own folder for the libraries it imports.
std::wstring AbsolutePluginPath(const std::wstring& path);

// What could run code in the process just before a plug-in was loaded: its threads (id, time
// created) and our thread's windows (handle, window procedure). The free compares what is
// there then with it.
struct CodeBeforeLoad {
    struct Stamp {
        UINT_PTR what;
        UINT_PTR value;
        bool operator==(const Stamp& other) const { return what == other.what && value == other.value; }
    };
    std::vector<Stamp> threads;
    std::vector<Stamp> windows;
};

// Owns one loaded plug-in: frees it under the fault guard, or never once it has faulted or
// while code of it can still run. A library that faulted is in a state nobody knows and its
// detach code could fault too; a thread, a window or a subclass of it that lives on would run
// in freed memory. Either way it stays loaded until the program ends; loading it again only
// counts up its references.
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary() { Free(); }
    // Neither copied nor moved: handed on only as the value a function returns.
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HMODULE get() const { return library_; }
    explicit operator bool() const { return library_ != nullptr; }
    // After a call into the library faulted.
    void Abandon() { library_ = nullptr; }
    // Frees now, unless code of the library can still run (then it is kept, silently); false
    // when the plug-in faulted while detaching (the library is then abandoned).
    bool Free();

private:
    friend PluginLibrary LoadPluginLibrary(const std::wstring& path, bool* faulted);
    PluginLibrary(HMODULE library, CodeBeforeLoad&& before) : library_(library), before_(std::move(before)) {}
    HMODULE library_ = nullptr;
    CodeBeforeLoad before_;
};

// Loads a plug-in by its absolute path, its own folder searched first for its imports (a codec
// DLL shipped beside it). Empty when the load failed or faulted; *faulted (optional) tells which.
PluginLibrary LoadPluginLibrary(const std::wstring& path, bool* faulted = nullptr);

// The buffer offered to GetPluginInfo: plugin::kInfoBufferBytes of zeros that end exactly where
// a page begins that cannot be touched, with another such page before them. An answer that runs
// past its buffer faults inside the plug-in's own call, where the fault guard contains it;
// nothing of ours lies where the plug-in may write. Null data() when no memory could be had.
class PluginAnswerBuffer {
public:
    PluginAnswerBuffer();
    char* data() const { return data_; }

private:
    handles::UniqueVirtualMemory region_;
    char* data_ = nullptr;
};

// Whether window is owner itself or one of its children (false when either is null).
bool IsWindowWithin(HWND window, HWND owner);

// Our thread's windows, focus and owner as they were before plug-in code ran. A plug-in that
// faults inside its own dialog leaves that dialog on screen, its owner disabled, perhaps the
// mouse captured or a menu open: RestoreAfterFault undoes all of that.
class WindowsBeforePluginCall {
public:
    explicit WindowsBeforePluginCall(HWND owner);
    void RestoreAfterFault() const;

private:
    HWND owner_;
    HWND focus_;
    std::vector<HWND> windows_;
};
