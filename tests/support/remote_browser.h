// A running Plexmoor2.exe (or another build of it) driven and read from outside through its
// windows, as a user's mouse and keyboard would: select, click, drop down the history, pick a
// folder, drop files, read its lists and message boxes, close it. Built on process_ui.h.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process_ui.h"

class RemoteBrowser {
public:
    // Starts the exe of the build and waits for its dialog and the start-up scan.
    explicit RemoteBrowser(const wchar_t* exeName = L"Plexmoor2.exe", const std::wstring& arguments = L"");

    HWND Dialog() const { return dialog_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    const Program& Process() const { return program_; }
    bool Running() const { return program_.Running(); }
    // Everything posted to the browser so far is handled (or a modal loop of it runs).
    void Settle() const;

    std::wstring Folder() const;
    std::vector<std::wstring> PluginNames() const;
    int PluginCount() const;
    int SelectedPlugin() const;
    // As a click on the entry does: select it, then the notification the list box sends.
    void SelectPlugin(int index) const;
    // The second press of a double-click on the selected entry, as the list box receives it.
    // The first press and release are left out: under Wine they notify a new selection even on
    // the entry already selected, which would hide whether the double-click itself is answered.
    void DoubleClickSelectedPlugin() const;
    std::vector<Row> InfoRows() const;
    std::vector<Row> TypeRows() const;
    int SelectedTypeRow() const;
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    // A click on a push button of the dialog.
    void Click(int controlId) const;

    // Paths dropped on the dialog from Explorer; false when the drop could not be made.
    bool Drop(const std::vector<std::wstring>& paths) const;
    // A key pressed and released while the control has the focus.
    void PressKey(int controlId, WPARAM key) const;

    // The split button's arrow from the keyboard: focus on Browse, then the Down key.
    void DropDownHistory() const;
    // Waits for the browser's popup menu and answers it as AnswerPopupMenu does; false when none
    // appeared or it did not close. (Its items cannot be read: a menu handle is per process.)
    bool ChooseFromPopupMenu(int item) const;
    // The whole folder-picker route: Browse clicked, the picker's selection set to folder, OK.
    bool PickFolder(const std::wstring& folder) const;

    // A visible message box of the browser; an empty view when none appeared in time.
    MessageBoxView WaitForMessageBox(DWORD timeoutMs = 5000) const;
    // True when a message box is up now.
    bool ShowsMessageBox() const;
    // Close button of the caption; returns the exit code (STILL_ACTIVE when it did not end).
    DWORD Close(DWORD timeoutMs = kWaitMs) const;

private:
    Program program_;
    HWND dialog_ = nullptr;
};
