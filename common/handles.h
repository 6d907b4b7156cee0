// Owners for the system handles the programs obtain: each releases its handle on every path.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <memory>

namespace handles {

struct LibraryDeleter {
    void operator()(HMODULE m) const { FreeLibrary(m); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer<HMODULE>::type, LibraryDeleter>;

struct MenuDeleter {
    void operator()(HMENU m) const { DestroyMenu(m); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer<HMENU>::type, MenuDeleter>;

struct RegKeyDeleter {
    void operator()(HKEY k) const { RegCloseKey(k); }
};
using UniqueRegKey = std::unique_ptr<std::remove_pointer<HKEY>::type, RegKeyDeleter>;

// FindFirstFileW reports failure as INVALID_HANDLE_VALUE, not null: the holder stores
// only real handles, so callers reset it only after checking.
struct FindDeleter {
    void operator()(HANDLE h) const { FindClose(h); }
};
using UniqueFind = std::unique_ptr<void, FindDeleter>;

// A kernel object: a file from CreateFileW, a process from CreateProcessW. Their failure values
// (INVALID_HANDLE_VALUE, null) are never stored: callers check before handing one over.
struct HandleDeleter {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleDeleter>;

struct CoTaskMemDeleter {
    void operator()(void* p) const { CoTaskMemFree(p); }
};
template <typename T>
using UniqueCoTaskMem = std::unique_ptr<T, CoTaskMemDeleter>;

// Pages from VirtualAlloc, released whole.
struct VirtualMemoryDeleter {
    void operator()(void* p) const { VirtualFree(p, 0, MEM_RELEASE); }
};
using UniqueVirtualMemory = std::unique_ptr<void, VirtualMemoryDeleter>;

struct GlobalDeleter {
    void operator()(HGLOBAL g) const { GlobalFree(g); }
};
using UniqueGlobal = std::unique_ptr<void, GlobalDeleter>;

// Files dropped on a window (WM_DROPFILES), finished when read.
struct DropDeleter {
    void operator()(HDROP d) const { DragFinish(d); }
};
using UniqueDrop = std::unique_ptr<std::remove_pointer<HDROP>::type, DropDeleter>;

// A window DC from GetDC, released against the same window.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

struct DCDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueCreatedDC = std::unique_ptr<std::remove_pointer<HDC>::type, DCDeleter>;

// Stops a control from repainting after each change while it is refilled, and has it redrawn
// once when the scope ends. Under Wine a visible list repaints itself for every item it gains.
class RedrawPause {
public:
    explicit RedrawPause(HWND window) : window_(window) { SendMessageW(window_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawPause()
    {
        SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(window_, nullptr, TRUE);
    }
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND window_;
};

// Runs a callable when the scope ends, also during unwinding.
template <typename F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) : f_(f) {}
    ~ScopeGuard()
    {
        if (active_) f_();
    }
    void Dismiss() { active_ = false; }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

private:
    F f_;
    bool active_ = true;
};

template <typename F>
ScopeGuard<F> MakeScopeGuard(F f)
{
    return ScopeGuard<F>(f);
}

}  // namespace handles
