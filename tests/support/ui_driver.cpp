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
    // The tree and its selection are in place once the picker shows; the pause lets it finish
    // showing before it is answered.
    Sleep(300);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[1024] = {};
            GetWindowTextW(child, text, 1024);
            if (text[0]) childTexts_.push_back(text);
        }
    }
    seen_ = true;
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

std::vector<std::wstring> OwnedDialogDriver::ChildTexts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return childTexts_;
}

void WriteHistoryFile(const std::wstring& path, const std::vector<std::wstring>& folders)
{
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos) SHCreateDirectoryExW(nullptr, path.substr(0, slash).c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // The byte-order mark keeps the profile functions writing UTF-16.
        static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
        DWORD written = 0;
        WriteFile(file, kByteOrderMark, sizeof(kByteOrderMark), &written, nullptr);
        CloseHandle(file);
    }
    for (size_t i = 0; i < folders.size(); ++i) {
        WritePrivateProfileStringW(L"History", std::to_wstring(i + 1).c_str(), folders[i].c_str(), path.c_str());
    }
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
