#include "process.h"

#include <vector>

ChildProcess::ChildProcess(const std::wstring& commandLine, const std::wstring& workingDir)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        id_ = pi.dwProcessId;
    }
}

ChildProcess::~ChildProcess()
{
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

DWORD ChildProcess::Wait(DWORD timeoutMs)
{
    if (!process_) return STILL_ACTIVE;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

namespace {
struct EnumState {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == state->pid) state->found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> ProcessWindows(DWORD processId)
{
    EnumState state{processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::wstring WindowClass(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className)
{
    for (HWND w : ProcessWindows(processId)) {
        if (!className || WindowClass(w) == className) return w;
    }
    return nullptr;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD timeoutMs, bool mustBeVisible)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    do {
        for (HWND w : ProcessWindows(processId)) {
            if (className && WindowClass(w) != className) continue;
            if (mustBeVisible && !IsWindowVisible(w)) continue;
            return w;
        }
        Sleep(50);
    } while (GetTickCount64() < end);
    return nullptr;
}

ForeignMessageBox WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    ForeignMessageBox box;
    box.window = WaitForProcessWindow(processId, L"#32770", timeoutMs);
    if (!box.window) return box;
    // Let the box finish building its controls before reading them.
    Sleep(100);
    box.caption = WindowText(box.window);
    if (HWND text = GetDlgItem(box.window, 0xFFFF)) box.text = WindowText(text);
    for (HWND child = GetWindow(box.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (WindowClass(child) == L"Static" &&
            (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
            SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            box.hasIcon = true;
        }
    }
    return box;
}

void DismissMessageBox(HWND box)
{
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        if (HWND button = GetDlgItem(box, id)) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return;
        }
    }
    PostMessageW(box, WM_CLOSE, 0, 0);
}

std::wstring Quote(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring ExecutableDir()
{
    std::vector<wchar_t> buffer(32768, L'\0');
    GetModuleFileNameW(nullptr, buffer.data(), 32768);
    std::wstring path(buffer.data());
    return path.substr(0, path.find_last_of(L'\\'));
}
