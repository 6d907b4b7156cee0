// For tests that run the browser's code in their own process:
// - PopupMenuDriver and PickerDriver answer the nested modal loops (TrackPopupMenu,
//   SHBrowseForFolder) from a thread of their own and record what the window showed; one
//   that does not see its window in time, or cannot close it, fails the test with a message
//   and never leaves the loop running;
// - ClipboardHolder: another process (this test program again) holding the clipboard open.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "process_ui.h"

// GCC 12's win32 thread model, which builds the tests as well, has no std::mutex or std::thread:
// a slim reader/writer lock and a thread of Win32's own stand in for them.
class SlimLock {
public:
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class LoopDriver {
public:
    bool Seen() const { return seen_; }
    // A menu's item texts (mnemonic marks included), a picker's child window texts.
    std::vector<std::wstring> Texts() const;
    // Screen rectangle of the window.
    RECT Bounds() const;

protected:
    // find returns this process's window once it is up; answer answers it, false on failure.
    LoopDriver(const wchar_t* className, HWND owner, std::function<bool(HWND)> answer, DWORD timeoutMs);
    ~LoopDriver();
    // What the window showed; declared before the thread that fills it.
    mutable SlimLock mutex_;
    std::vector<std::wstring> texts_;
    RECT bounds_ = {};

private:
    static DWORD WINAPI Watch(void* driver);
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::function<void()> watch_;
    handles::UniqueHandle thread_;
};

// choose > 0 picks that item (1-based), choose == 0 dismisses the menu.
class PopupMenuDriver : public LoopDriver {
public:
    explicit PopupMenuDriver(int choose, DWORD timeoutMs = 5000);
};

// Answers the folder picker that opens over owner; Texts() ends with the name of the folder it
// showed selected when it opened.
class PickerDriver : public LoopDriver {
public:
    PickerDriver(HWND owner, PickerAnswer answer, const std::wstring& folder = L"", DWORD timeoutMs = kWaitMs);
};

class ClipboardHolder {
public:
    // Sets the clipboard's text to text (when not empty), then holds it open.
    explicit ClipboardHolder(const std::wstring& text = L"");
    ~ClipboardHolder() { Release(); }
    bool Held() const { return held_; }
    // Lets go; the holder's exit code (0: it held the clipboard).
    DWORD Release();

private:
    handles::UniqueHandle ready_;
    handles::UniqueHandle release_;
    std::unique_ptr<Program> holder_;
    bool held_ = false;
};
// In the holder process, from the test program's main: holds when asked to, then ends the
// process; returns otherwise.
void HoldClipboardIfAsked();
