// For tests that run the browser's code in their own process:
// - PopupMenuDriver and PickerDriver answer the nested modal loops (TrackPopupMenu,
//   SHBrowseForFolder) from a thread of their own; one that does not see its window in time,
//   or cannot close it, fails the test with a message and never leaves the loop running;
// - DisplayedMenuText: a menu item's text as shown;
// - ClipboardHolder: another process (this test program again) holding the clipboard open;
// - PumpMessages: dispatches what is waiting in this thread's queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "process_ui.h"

// Watches for a window of this process from the moment it is made until it is destroyed.
class LoopDriver {
public:
    LoopDriver(const LoopDriver&) = delete;
    LoopDriver& operator=(const LoopDriver&) = delete;
    bool Seen() const { return seen_; }

protected:
    // find returns the window once it is up; answer reads and answers it, false on failure.
    LoopDriver(std::function<HWND()> find, std::function<bool(HWND)> answer, DWORD timeoutMs, const char* what);
    ~LoopDriver();
    // What answer read from the window; declared before the thread that fills them.
    mutable std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::wstring selected_;
    RECT bounds_ = {};

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

// choose > 0 picks that item (1-based), choose == 0 dismisses the menu.
class PopupMenuDriver : public LoopDriver {
public:
    explicit PopupMenuDriver(int choose, DWORD timeoutMs = 5000);
    // The items' texts as stored in the menu, mnemonic marks included.
    std::vector<std::wstring> Items() const;
    // Screen rectangle of the menu window.
    RECT Bounds() const;
};

// What a menu shows for an item text: "&&" reads as "&", a single "&" marks the next letter.
std::wstring DisplayedMenuText(const std::wstring& itemText);

// Answers the folder picker that opens over owner.
class PickerDriver : public LoopDriver {
public:
    PickerDriver(HWND owner, PickerAnswer answer, const std::wstring& folder = L"", DWORD timeoutMs = kWaitMs);
    // Texts of the picker's child windows when it showed, and the folder name it showed selected.
    std::vector<std::wstring> ChildTexts() const;
    std::wstring SelectedName() const;
};

class ClipboardHolder {
public:
    // Sets the clipboard's text to text (when not empty), then holds it open.
    explicit ClipboardHolder(const std::wstring& text = L"");
    ~ClipboardHolder() { Release(); }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;
    bool Held() const { return held_; }
    // Lets go; the holder's exit code (0: it held the clipboard).
    DWORD Release();

private:
    handles::UniqueHandle ready_;
    handles::UniqueHandle release_;
    std::unique_ptr<Program> holder_;
    bool held_ = false;
};
// In the holder process, from the test program's main: holds when asked to, and then ends the
// process; returns otherwise.
void HoldClipboardIfAsked();

void PumpMessages();
