#include "ui_driver.h"

#include <shlobj.h>

namespace {

constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU

bool OwnedByThisProcess(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid == GetCurrentProcessId();
}

HWND FindVisibleWindow(const wchar_t* className, HWND owner)
{
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr)) {
        if (!OwnedByThisProcess(w) || !IsWindowVisible(w)) continue;
        if (owner && GetWindow(w, GW_OWNER) != owner) continue;
        return w;
    }
    return nullptr;
}

// Polls until found, the timeout passes or stop is set.
HWND WaitForVisibleWindow(const wchar_t* className, HWND owner, DWORD timeoutMs, const std::atomic<bool>& stop)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!stop && GetTickCount64() < end) {
        if (HWND w = FindVisibleWindow(className, owner)) return w;
        Sleep(20);
    }
    return nullptr;
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

PopupMenuDriver::PopupMenuDriver(int choose, DWORD timeoutMs)
    : thread_([this, choose, timeoutMs] { Run(choose, timeoutMs); })
{
}

PopupMenuDriver::~PopupMenuDriver()
{
    stop_ = true;
    thread_.join();
}

void PopupMenuDriver::Run(int choose, DWORD timeoutMs)
{
    HWND popup = WaitForVisibleWindow(L"#32768", nullptr, timeoutMs, stop_);
    if (!popup) return;
    // Let the menu loop settle before reading it and pressing keys.
    Sleep(150);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        GetWindowRect(popup, &bounds_);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(popup, kGetMenuHandle, 0, 0, SMTO_BLOCK, 2000, &result);
        HMENU menu = reinterpret_cast<HMENU>(result);
        const int count = menu ? GetMenuItemCount(menu) : 0;
        for (int i = 0; i < count; ++i) {
            wchar_t text[1024] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 1024, MF_BYPOSITION);
            items_.push_back(text);
        }
    }
    seen_ = true;
    if (choose <= 0) {
        PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    for (int i = 0; i < choose; ++i) PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
}

std::vector<std::wstring> PopupMenuDriver::Items() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
}

RECT PopupMenuDriver::Bounds() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return bounds_;
}

std::wstring DisplayedMenuText(const std::wstring& itemText)
{
    std::wstring shown;
    for (size_t i = 0; i < itemText.size(); ++i) {
        if (itemText[i] == L'&') {
            if (i + 1 < itemText.size() && itemText[i + 1] == L'&') {
                shown += L'&';
                ++i;
            }
            continue;
        }
        shown += itemText[i];
    }
    return shown;
}

OwnedDialogDriver::OwnedDialogDriver(HWND owner, Answer answer, const std::wstring& path, DWORD timeoutMs)
    : path_(path), thread_([this, owner, answer, timeoutMs] { Run(owner, answer, timeoutMs); })
{
}

OwnedDialogDriver::~OwnedDialogDriver()
{
    stop_ = true;
    thread_.join();
}

void OwnedDialogDriver::Run(HWND owner, Answer answer, DWORD timeoutMs)
{
    HWND dialog = WaitForVisibleWindow(L"#32770", owner, timeoutMs, stop_);
    if (!dialog) return;
    seen_ = true;
    // The picker fills its folder tree after it shows; give it time before answering.
    Sleep(300);
    if (answer == Answer::Cancel) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (answer == Answer::SelectThenAccept) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path_.c_str()));
        Sleep(200);
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

FileRestorer::FileRestorer(const std::wstring& path) : path_(path)
{
    existed_ = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (existed_) bytes_ = ReadFileBytes(path);
}

FileRestorer::~FileRestorer()
{
    if (!existed_) {
        DeleteFileW(path_.c_str());
        return;
    }
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes_.empty()) WriteFile(file, bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<char> ReadFileBytes(const std::wstring& path)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

ClipboardContent ReadClipboardText()
{
    ClipboardContent content;
    if (!OpenClipboard(nullptr)) return content;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            content.text = text;
            content.ok = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return content;
}

bool WriteClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    bool ok = false;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        auto* target = static_cast<wchar_t*>(GlobalLock(block));
        if (target) {
            text.copy(target, text.size());
            target[text.size()] = L'\0';
            GlobalUnlock(block);
            ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!ok) GlobalFree(block);
    }
    CloseClipboard();
    return ok;
}

void PumpMessages(DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (GetTickCount64() < end);
}

TempFolder::TempFolder(const std::wstring& leafName)
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + leafName + L"-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(path_);
    SHCreateDirectoryExW(nullptr, path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }
