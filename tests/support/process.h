// Runs the real programs as child processes and finds their windows from outside.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    // commandLine is passed to CreateProcessW as it stands (quote the program yourself).
    explicit ChildProcess(const std::wstring& commandLine, const std::wstring& workingDir = L"");
    ~ChildProcess();  // kills the process when it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    // The exit code, or STILL_ACTIVE when it did not end within the timeout.
    DWORD Wait(DWORD timeoutMs = 10000);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Visible or not, the first top-level window of the process with that class (null: any).
HWND FindProcessWindow(DWORD processId, const wchar_t* className);
// Polls FindProcessWindow until the window exists and is visible, or the timeout passes.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs = 10000,
                          bool mustBeVisible = true);
// All top-level windows of the process.
std::vector<HWND> ProcessWindows(DWORD processId);

std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);

// A message box of another process: its text (control 0xFFFF), caption and whether it shows
// an icon (a static with SS_ICON).
struct ForeignMessageBox {
    HWND window = nullptr;
    std::wstring text;
    std::wstring caption;
    bool hasIcon = false;
};
ForeignMessageBox WaitForMessageBox(DWORD processId, DWORD timeoutMs = 10000);
// Presses the box's first button.
void DismissMessageBox(HWND box);

// Quotes one argument for CreateProcessW.
std::wstring Quote(const std::wstring& argument);

// The folder of the running test program and of the build's executables.
std::wstring ExecutableDir();
