// Loading and freeing plug-in libraries, and putting the user interface back after a plug-in
// faulted. Every entry into plug-in code (its DllMain too) goes through the fault guard.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The path made absolute (a relative folder from the history or the registry, say), so that
// the loader can search the plug-in's own folder for the libraries it imports.
std::wstring AbsolutePluginPath(const std::wstring& path);

// Loads a plug-in by its absolute path, its own folder searched first for its imports (a codec
// DLL shipped beside it). Null when the load failed or faulted; *faulted (optional) tells which.
HMODULE LoadPluginLibrary(const std::wstring& path, bool* faulted = nullptr);

// Owns one loaded plug-in: frees it under the fault guard, or never once it has faulted. A
// library that faulted is in a state nobody knows and its detach code could fault too, so it
// stays loaded until the program ends; loading it again only counts up its references.
class PluginLibrary {
public:
    explicit PluginLibrary(HMODULE library = nullptr) : library_(library) {}
    ~PluginLibrary() { Free(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HMODULE get() const { return library_; }
    explicit operator bool() const { return library_ != nullptr; }
    // After a call into the library faulted.
    void Abandon() { library_ = nullptr; }
    // Frees now; false when the plug-in faulted while detaching (the library is then abandoned).
    bool Free();

private:
    HMODULE library_;
};

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
