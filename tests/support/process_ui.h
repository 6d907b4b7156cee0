// Our programs driven and read from outside with nothing but Win32, for the process tests, the
// in-process drivers (from a thread of their own) and the screenshot driver; no GoogleTest here.
// - Program: starts an exe with arguments and a working folder, gives its exit code, is killed
//   at the end if it still runs;
// - windows of a process: TopLevelWindows, WaitForWindow (class, owner), WaitUntilGone, Settle(Posted),
//   TextOf, ClassOf;
// - message boxes: ReadMessageBox (caption, text, icon, owner), Find/WaitForMessageBox,
//   DismissMessageBox, and RunAnsweringBoxes (to the end, every box read and answered), as
//   RunConfigurator does for Plexmoor1.exe on one plug-in;
// - controls of this or another process: ListBoxItems, ListViewRows, ListViewSelection;
// - DropFilesBlock, DropFiles: what Explorer hands a window that files are dropped on;
// - the nested loops: AnswerPopupMenu, AnswerPicker (each ends its loop even when it fails);
// - LoadedModules of a process, HasLoaded;
// - Quote, ExecutablePath/Dir, Utf8, SettleFolderAccessTimes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "handles.h"

constexpr DWORD kWaitMs = 10000;

class Program {
public:
    Program(const std::wstring& exe, const std::wstring& arguments = L"", const std::wstring& workingDir = L"");
    ~Program();

    // A program that could not be started says so on stderr, with CreateProcessW's error.
    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }
    bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code, or STILL_ACTIVE when it did not end within the timeout.
    DWORD Wait(DWORD timeoutMs = kWaitMs) const;

private:
    handles::UniqueHandle process_;
    DWORD id_ = 0;
};

// Polls until the condition holds or the timeout passes; says which.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);
std::vector<HWND> TopLevelWindows(DWORD processId);
// A visible top-level window of the process with that class and, unless null, that owner.
HWND WaitForWindow(DWORD processId, const wchar_t* className, HWND owner = nullptr, DWORD timeoutMs = kWaitMs);
bool WaitUntilGone(HWND window, DWORD timeoutMs = kWaitMs);
// Returns once the window's thread has handled what was sent to it so far, or runs a modal loop.
// Posted messages may still wait: a sent one is handled first.
void Settle(HWND window);
// Returns once the thread of an edit control has handled everything posted to it so far, all
// windows of that thread alike: a marker posted after them (the edit's modified flag) arrives last.
void SettlePosted(HWND edit);
// WM_GETTEXT, which the system carries across processes (GetWindowTextW does not ask).
std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

struct MessageBoxView {
    HWND window = nullptr, owner = nullptr;
    std::wstring caption, text;
    bool icon = false;
};
MessageBoxView ReadMessageBox(HWND box);
// A message box of the process now (a "#32770" with the text control 0xFFFF), or null.
HWND FindMessageBox(DWORD processId);
// The first message box of the process; an empty view when none showed in time.
MessageBoxView WaitForMessageBox(DWORD processId, DWORD timeoutMs = kWaitMs);
// Its first button of OK, Cancel, Yes, No.
void DismissMessageBox(HWND box);

struct RunResult {
    DWORD exitCode = STILL_ACTIVE;
    std::vector<MessageBoxView> boxes;
    int strayWindows = 0;  // other visible windows of the process while a box was up
};
// Runs the program to its end, each message box read and answered with its first button.
RunResult RunAnsweringBoxes(const std::wstring& exe, const std::wstring& arguments,
                            const std::wstring& workingDir = L"", DWORD timeoutMs = 20000);

using Row = std::pair<std::wstring, std::wstring>;
std::vector<std::wstring> ListBoxItems(HWND list);
// Columns 0 and 1 of each row of a report list view.
std::vector<Row> ListViewRows(HWND list);
// The first selected row, -1 for none.
int ListViewSelection(HWND list);

// The DROPFILES block with wide names that the shell hands a window files are dropped on.
std::string DropFilesBlock(const std::vector<std::wstring>& paths);
// Drops the paths on a window of this or another process as the shell does: a DROPFILES block
// with wide names in the window's process, posted as WM_DROPFILES. handled must return once
// the window's thread has taken the message; the block is released after it. False when the
// block could not be placed.
bool DropFiles(HWND window, const std::vector<std::wstring>& paths, const std::function<void()>& handled);

// Down pressed choose times and Enter; 0 presses Escape. False, with the menu ended, when it
// did not close in time.
bool AnswerPopupMenu(HWND menu, int choose, DWORD timeoutMs = kWaitMs);

enum class PickerAnswer { Cancel, Accept, SelectThenAccept };
// The picker's edit box: the name of the folder selected in its tree.
std::wstring PickerSelectedName(HWND picker);
// SelectThenAccept first selects folder as a program would (BFFM_SETSELECTIONW). False, with
// the picker cancelled, when it did not close in time.
bool AnswerPicker(HWND picker, PickerAnswer answer, const std::wstring& folder = L"", DWORD timeoutMs = kWaitMs);

// Wine's picker walks its tree to a preselected folder comparing item ids that carry each
// folder's last-access time; on a relatime mount the walk's own reads can move that time
// and cut the walk short. Reading every folder on the way once beforehand settles the times.
void SettleFolderAccessTimes(std::wstring folder);

// Full paths of the modules loaded in the process now.
std::vector<std::wstring> LoadedModules(DWORD processId);
bool HasLoaded(DWORD processId, const std::wstring& path);

std::wstring Quote(const std::wstring& argument);
std::wstring ExecutablePath();
// Folder of the running program, where the build puts every exe; no trailing backslash.
std::wstring ExecutableDir();
std::string Utf8(const std::wstring& text);

// The build's Plexmoor1.exe on one plug-in, as a drop on its icon starts it.
inline RunResult RunConfigurator(const std::wstring& plugin)
{
    return RunAnsweringBoxes(ExecutableDir() + L"\\Plexmoor1.exe", Quote(plugin));
}
