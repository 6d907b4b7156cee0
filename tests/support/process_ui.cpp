#include "process_ui.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace {

// Room for the longest text a plug-in can hand over (4094 bytes) with plenty to spare.
constexpr int kCellChars = 16384;

// Memory inside the process that owns a window, for messages whose pointers the system does
// not carry across processes (LVM_GETITEMTEXTW, BFFM_SETSELECTIONW); works in-process too.
class TargetBuffer {
public:
    TargetBuffer(HWND window, size_t bytes)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (process_) address_ = static_cast<char*>(VirtualAllocEx(process_.get(), nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
    }
    ~TargetBuffer()
    {
        if (address_) VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    LPARAM At(size_t offset) const { return reinterpret_cast<LPARAM>(address_ + offset); }
    bool Write(const void* data, size_t bytes, size_t offset = 0) const
    {
        return address_ && WriteProcessMemory(process_.get(), address_ + offset, data, bytes, nullptr);
    }
    bool Read(void* data, size_t bytes, size_t offset = 0) const
    {
        return address_ && ReadProcessMemory(process_.get(), address_ + offset, data, bytes, nullptr);
    }

private:
    handles::UniqueHandle process_;
    char* address_ = nullptr;
};

std::wstring ReadCell(HWND list, int row, int column, const TargetBuffer& buffer)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = kCellChars;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof(LVITEMW)));
    std::vector<wchar_t> text(kCellChars + 1, L'\0');
    buffer.Write(&item, sizeof(item));
    buffer.Write(text.data(), sizeof(wchar_t), sizeof(LVITEMW));
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), buffer.At(0));
    buffer.Read(text.data(), kCellChars * sizeof(wchar_t), sizeof(LVITEMW));
    return text.data();
}

}  // namespace

Program::Program(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingDir)
{
    const std::wstring commandLine = Quote(exe) + (arguments.empty() ? L"" : L" " + arguments);
    // Under load Wine now and then loses a new process while it starts (about one start in
    // 3000 here): CreateProcessW fails with ERROR_INTERNAL_ERROR. Windows has no such failure;
    // a program that cannot start fails both times.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        std::wstring line = commandLine;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                           workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi)) {
            CloseHandle(pi.hThread);
            process_.reset(pi.hProcess);
            id_ = pi.dwProcessId;
            return;
        }
        // Otherwise the test would see only a program that showed nothing and never ended.
        const DWORD error = GetLastError();
        std::fprintf(stderr, "Program: could not start %s (CreateProcessW error %lu, attempt %d)\n",
                     Utf8(commandLine).c_str(), error, attempt);
        std::fflush(stderr);
        if (error != ERROR_INTERNAL_ERROR) return;
    }
}

Program::~Program()
{
    if (Running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 5000);
    }
}

DWORD Program::Wait(DWORD timeoutMs) const
{
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process_.get(), &code);
    }
    return code;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    struct Query {
        DWORD pid;
        std::vector<HWND> found;
    } query{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* q = reinterpret_cast<Query*>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == q->pid) q->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForWindow(DWORD processId, const wchar_t* className, HWND owner, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopLevelWindows(processId)) {
                if (!IsWindowVisible(w) || ClassOf(w) != className) continue;
                if (owner && GetWindow(w, GW_OWNER) != owner) continue;
                found = w;
                return true;
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

void Settle(HWND window)
{
    DWORD_PTR ignored = 0;
    for (int round = 0; round < 2; ++round) SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &ignored);
}

void SettlePosted(HWND edit)
{
    DWORD_PTR modified = 0;
    SendMessageTimeoutW(edit, EM_SETMODIFY, FALSE, 0, SMTO_BLOCK, kWaitMs, &modified);
    PostMessageW(edit, EM_SETMODIFY, TRUE, 0);
    WaitUntil([&] { return SendMessageTimeoutW(edit, EM_GETMODIFY, 0, 0, SMTO_BLOCK, kWaitMs, &modified) && modified; });
    Settle(edit);
}

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 5000, &length)) return L"";
    std::vector<wchar_t> text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_BLOCK, 5000,
                        &copied);
    return std::wstring(text.data(), copied < text.size() ? copied : 0);
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

MessageBoxView ReadMessageBox(HWND box)
{
    // A box shows once its controls are built; settling makes sure its thread is past that.
    Settle(box);
    MessageBoxView view;
    view.window = box;
    view.owner = GetWindow(box, GW_OWNER);
    view.caption = TextOf(box);
    view.text = TextOf(GetDlgItem(box, 0xFFFF));
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
            view.icon = true;
        }
    }
    return view;
}

HWND FindMessageBox(DWORD processId)
{
    // Program dialogs and the picker have no control 0xFFFF.
    for (HWND w : TopLevelWindows(processId)) {
        if (ClassOf(w) == L"#32770" && IsWindowVisible(w) && GetDlgItem(w, 0xFFFF)) return w;
    }
    return nullptr;
}

MessageBoxView WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox(processId)) != nullptr; }, timeoutMs);
    return box ? ReadMessageBox(box) : MessageBoxView();
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

RunResult RunAnsweringBoxes(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingDir,
                            DWORD timeoutMs)
{
    RunResult result;
    Program program(exe, arguments, workingDir);
    std::vector<HWND> answered;
    WaitUntil(
        [&] {
            HWND box = FindMessageBox(program.Id());
            if (box && std::find(answered.begin(), answered.end(), box) == answered.end()) {
                result.boxes.push_back(ReadMessageBox(box));
                for (HWND other : TopLevelWindows(program.Id())) {
                    if (other != box && IsWindowVisible(other)) ++result.strayWindows;
                }
                answered.push_back(box);
                DismissMessageBox(box);
            }
            return !program.Running();
        },
        timeoutMs);
    result.exitCode = program.Wait(1000);
    if (result.exitCode == STILL_ACTIVE && program.Started()) {
        std::fprintf(stderr, "RunAnsweringBoxes: %s %s still ran after %lu ms and %u answered boxes; it is ended\n",
                     Utf8(exe).c_str(), Utf8(arguments).c_str(), timeoutMs, static_cast<unsigned>(result.boxes.size()));
        std::fflush(stderr);
    }
    return result;
}

std::vector<std::wstring> ListBoxItems(HWND list)
{
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        items.emplace_back(text.data());
    }
    return items;
}

std::vector<Row> ListViewRows(HWND list)
{
    TargetBuffer buffer(list, sizeof(LVITEMW) + (kCellChars + 1) * sizeof(wchar_t));
    std::vector<Row> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.emplace_back(ReadCell(list, row, 0, buffer), ReadCell(list, row, 1, buffer));
    return rows;
}

int ListViewSelection(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

std::string DropFilesBlock(const std::vector<std::wstring>& paths)
{
    DROPFILES header = {};
    header.pFiles = sizeof(header);
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof(header));
    // The names follow the header, each ending in a zero, the list in one more.
    for (const std::wstring& path : paths) {
        block.append(reinterpret_cast<const char*>(path.c_str()), (path.size() + 1) * sizeof(wchar_t));
    }
    return block.append(sizeof(wchar_t), '\0');
}

bool DropFiles(HWND window, const std::vector<std::wstring>& paths, const std::function<void()>& handled)
{
    const std::string bytes = DropFilesBlock(paths);
    TargetBuffer block(window, bytes.size());
    if (!block.Write(bytes.data(), bytes.size())) return false;
    PostMessageW(window, WM_DROPFILES, static_cast<WPARAM>(block.At(0)), 0);
    handled();
    return true;
}

bool AnswerPopupMenu(HWND menu, int choose, DWORD timeoutMs)
{
    // Keys reach the menu once its loop runs; a sent message returns only from inside that loop.
    Settle(menu);
    for (int i = 0; i < choose; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, choose > 0 ? VK_RETURN : VK_ESCAPE, 0);
    if (WaitUntilGone(menu, timeoutMs)) return true;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(GetWindow(menu, GW_OWNER), WM_CANCELMODE, 0, 0);
    return false;
}

std::wstring PickerSelectedName(HWND picker)
{
    for (HWND child = GetWindow(picker, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == L"Edit") return TextOf(child);
    }
    return L"";
}

bool AnswerPicker(HWND picker, PickerAnswer answer, const std::wstring& folder, DWORD timeoutMs)
{
    Settle(picker);
    if (answer == PickerAnswer::SelectThenAccept) {
        const size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
        TargetBuffer text(picker, bytes);
        DWORD_PTR ignored = 0;
        if (text.Write(folder.c_str(), bytes)) {
            SendMessageTimeoutW(picker, BFFM_SETSELECTIONW, TRUE, text.At(0), SMTO_BLOCK, timeoutMs, &ignored);
        }
    }
    PostMessageW(picker, WM_COMMAND, answer == PickerAnswer::Cancel ? IDCANCEL : IDOK, 0);
    if (WaitUntilGone(picker, timeoutMs)) return true;
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    return false;
}

void SettleFolderAccessTimes(std::wstring folder)
{
    while (!folder.empty()) {
        WIN32_FIND_DATAW found = {};
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            handles::UniqueFind owner(search);
            while (FindNextFileW(search, &found)) {
            }
        }
        const size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos) break;
        folder.resize(slash);
    }
}

std::wstring Quote(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring ExecutablePath()
{
    std::vector<wchar_t> buffer(32768, L'\0');
    GetModuleFileNameW(nullptr, buffer.data(), 32768);
    return buffer.data();
}

std::wstring ExecutableDir()
{
    const std::wstring path = ExecutablePath();
    return path.substr(0, path.find_last_of(L'\\'));
}

std::string Utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> LoadedModules(DWORD processId)
{
    std::vector<std::wstring> paths;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) return paths;
    handles::UniqueHandle owner(snapshot);
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32FirstW(snapshot, &module); more; more = Module32NextW(snapshot, &module)) {
        paths.emplace_back(module.szExePath);
    }
    return paths;
}

bool HasLoaded(DWORD processId, const std::wstring& path)
{
    const std::vector<std::wstring> modules = LoadedModules(processId);
    return std::any_of(modules.begin(), modules.end(), [&path](const std::wstring& m) { return _wcsicmp(m.c_str(), path.c_str()) == 0; });
}
