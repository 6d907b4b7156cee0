// Loading and freeing plug-in libraries. Every entry into plug-in code (its DllMain too) goes
// through the fault guard.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "running_code.h"

// The path made absolute (a relative folder from the history or the registry, say), so that
// the loader can search the plug-in's own folder for the libraries it imports.
std::wstring AbsolutePluginPath(const std::wstring& path);

// Owns one loaded plug-in: frees it under the fault guard, or never once it has faulted or
// while code of it can still run; once freed, the window classes it left registered go too. A library that faulted is in a state nobody knows and its
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
