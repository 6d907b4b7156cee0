// Drives the nested modal loops of the code under test (popup menus, the folder picker) from
// a thread of the test's own, and reads and sets the clipboard and the settings file.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Waits for a popup menu ("#32768") of this process, records it, then answers it by keys:
// choose > 0 picks that item (1-based), choose == 0 dismisses it with Escape.
class PopupMenuDriver {
public:
    explicit PopupMenuDriver(int choose, DWORD timeoutMs = 5000);
    ~PopupMenuDriver();
    PopupMenuDriver(const PopupMenuDriver&) = delete;
    PopupMenuDriver& operator=(const PopupMenuDriver&) = delete;

    bool Seen() const { return seen_; }
    // The items' texts as stored in the menu, mnemonic marks included.
    std::vector<std::wstring> Items() const;
    // Screen rectangle of the menu window.
    RECT Bounds() const;

private:
    void Run(int choose, DWORD timeoutMs);

    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    mutable std::mutex mutex_;
    std::vector<std::wstring> items_;
    RECT bounds_ = {};
    std::thread thread_;
};

// What a menu shows for an item text: "&&" reads as "&", a single "&" marks the next letter.
std::wstring DisplayedMenuText(const std::wstring& itemText);

// Waits for a visible dialog ("#32770") of this process owned by owner, runs an action on it
// from the driver's thread, and records the dialog.
class OwnedDialogDriver {
public:
    enum class Answer { Cancel, Accept, SelectThenAccept };
    // SelectThenAccept sends BFFM_SETSELECTIONW with path before pressing OK.
    OwnedDialogDriver(HWND owner, Answer answer, const std::wstring& path = L"", DWORD timeoutMs = 10000);
    ~OwnedDialogDriver();
    OwnedDialogDriver(const OwnedDialogDriver&) = delete;
    OwnedDialogDriver& operator=(const OwnedDialogDriver&) = delete;

    bool Seen() const { return seen_; }
    // Texts of the dialog's child windows when it was found.
    std::vector<std::wstring> ChildTexts() const;

private:
    void Run(HWND owner, Answer answer, DWORD timeoutMs);

    std::wstring path_;
    mutable std::mutex mutex_;
    std::vector<std::wstring> childTexts_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

// Replaces the settings file by one in UTF-16 whose [History] keys "1".. hold folders.
void WriteHistoryFile(const std::wstring& path, const std::vector<std::wstring>& folders);

// The clipboard's CF_UNICODETEXT; ok is false when there is none or it cannot be opened.
struct ClipboardContent {
    std::wstring text;
    bool ok = false;
};
ClipboardContent ReadClipboardText();
bool WriteClipboardText(const std::wstring& text);

// Dispatches this thread's pending messages for a while.
void PumpMessages(DWORD milliseconds);
