// A running Plexmoor2.exe driven and read from outside, with nothing but Win32: what a user's
// mouse and keyboard would do is posted to its windows, what the user would see is read back.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "process.h"

// One row of a report list: column 0 and column 1.
using ReportRow = std::pair<std::wstring, std::wstring>;

// Memory inside another process, for messages whose pointers the system does not carry across.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t bytes);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* Address() const { return address_; }
    bool Write(const void* data, size_t bytes, size_t offset = 0) const;
    bool Read(void* data, size_t bytes, size_t offset = 0) const;

private:
    HANDLE process_;
    void* address_ = nullptr;
};

// A message box of the browser: found among its top-level windows by the text control 0xFFFF.
struct BrowserMessageBox {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
};

class RemoteBrowser {
public:
    // Starts the exe of the build (Plexmoor2.exe unless told) and waits for its dialog.
    explicit RemoteBrowser(const wchar_t* exeName = L"Plexmoor2.exe");
    ~RemoteBrowser();  // the child is killed when it still runs
    RemoteBrowser(const RemoteBrowser&) = delete;
    RemoteBrowser& operator=(const RemoteBrowser&) = delete;

    HWND Dialog() const { return dialog_; }
    ChildProcess& Process() { return process_; }
    bool Running() { return process_.Wait(0) == STILL_ACTIVE; }
    // Waits until the browser has worked through everything posted to it so far.
    void Settle() const;

    std::wstring Folder() const;
    std::vector<std::wstring> PluginNames() const;
    int PluginCount() const;
    int SelectedPlugin() const;
    // As a click on the entry does: select it, then the notification the list box sends.
    void SelectPlugin(int index) const;
    std::vector<ReportRow> InfoRows() const;
    std::vector<ReportRow> TypeRows() const;
    // Index of the first selected row of the file-type list, -1 for none.
    int SelectedTypeRow() const;
    bool SettingsEnabled() const;
    bool AboutEnabled() const;
    // A click on a push button of the dialog.
    void Click(int controlId) const;

    // The split button's arrow from the keyboard: focus on Browse, then the Down key.
    void DropDownHistory() const;
    // Waits for the browser's popup menu and picks the item (1-based) with Down and Enter;
    // 0 dismisses it with Escape. False when no menu appeared. (The menu's items cannot be read
    // from outside: a menu handle means nothing in another process under Wine.)
    bool ChooseFromPopupMenu(int item, DWORD timeoutMs = 5000) const;
    // The whole folder-picker route: Browse clicked, the picker's selection set to folder, OK.
    bool PickFolder(const std::wstring& folder, DWORD timeoutMs = 10000);

    // A visible message box of the browser, or an empty record when none appeared in time.
    BrowserMessageBox WaitForMessageBox(DWORD timeoutMs = 5000) const;
    // Close button of the caption; returns the exit code (STILL_ACTIVE when it did not end).
    DWORD Close(DWORD timeoutMs = 10000);

private:
    std::vector<ReportRow> ReadReport(int controlId) const;
    std::wstring ReadCell(HWND list, int row, int column, RemoteBuffer& buffer) const;

    ChildProcess process_;
    HWND dialog_ = nullptr;
};

// For test messages.
std::string ToUtf8(const std::wstring& text);
