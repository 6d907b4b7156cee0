#include "remote_browser.h"

#include <commctrl.h>
#include <shlobj.h>

#include "access_times.h"
#include "resource.h"

namespace {

// Room for the longest text a plug-in can hand over (4094 bytes) with plenty to spare.
constexpr int kCellChars = 16384;
constexpr DWORD kStartTimeoutMs = 30000;

bool IsMessageBoxOf(HWND window, HWND dialog)
{
    return window != dialog && WindowClass(window) == L"#32770" && IsWindowVisible(window) &&
           GetDlgItem(window, 0xFFFF) != nullptr;
}

}  // namespace

std::string ToUtf8(const std::wstring& text)
{
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    }
    return out;
}

RemoteBuffer::RemoteBuffer(HANDLE process, size_t bytes)
    : process_(process), address_(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
{
}

RemoteBuffer::~RemoteBuffer()
{
    // A process that has ended took its memory with it.
    if (address_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::Write(const void* data, size_t bytes, size_t offset) const
{
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, &done) &&
           done == bytes;
}

bool RemoteBuffer::Read(void* data, size_t bytes, size_t offset) const
{
    SIZE_T done = 0;
    return address_ && ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, bytes, &done) &&
           done == bytes;
}

RemoteBrowser::RemoteBrowser(const wchar_t* exeName) : process_(Quote(ExecutableDir() + L"\\" + exeName))
{
    dialog_ = WaitForProcessWindow(process_.Id(), L"#32770", kStartTimeoutMs);
    if (dialog_) Settle();
}

RemoteBrowser::~RemoteBrowser() = default;

void RemoteBrowser::Settle() const
{
    DWORD_PTR ignored = 0;
    // Twice: what the first round posted on its way is handled by the second.
    for (int round = 0; round < 2; ++round) {
        SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &ignored);
        Sleep(30);
    }
}

std::wstring RemoteBrowser::Folder() const
{
    // GetWindowTextW does not ask a control of another process; WM_GETTEXT is carried across.
    HWND edit = GetDlgItem(dialog_, IDC_FOLDER);
    const LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const LRESULT copied = SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

int RemoteBrowser::PluginCount() const
{
    return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_PLUGIN_LIST, LB_GETCOUNT, 0, 0));
}

std::vector<std::wstring> RemoteBrowser::PluginNames() const
{
    HWND list = GetDlgItem(dialog_, IDC_PLUGIN_LIST);
    std::vector<std::wstring> names;
    const int count = PluginCount();
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == LB_ERR) continue;
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        names.emplace_back(text.data());
    }
    return names;
}

int RemoteBrowser::SelectedPlugin() const
{
    return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_PLUGIN_LIST, LB_GETCURSEL, 0, 0));
}

void RemoteBrowser::SelectPlugin(int index) const
{
    HWND list = GetDlgItem(dialog_, IDC_PLUGIN_LIST);
    PostMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    Settle();
}

std::wstring RemoteBrowser::ReadCell(HWND list, int row, int column, RemoteBuffer& buffer) const
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = kCellChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.Address()) + sizeof(LVITEMW));
    const wchar_t nothing = L'\0';
    buffer.Write(&item, sizeof(item));
    buffer.Write(&nothing, sizeof(nothing), sizeof(LVITEMW));
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.Address()));
    std::vector<wchar_t> text(kCellChars + 1, L'\0');
    buffer.Read(text.data(), kCellChars * sizeof(wchar_t), sizeof(LVITEMW));
    return text.data();
}

std::vector<ReportRow> RemoteBrowser::ReadReport(int controlId) const
{
    HWND list = GetDlgItem(dialog_, controlId);
    RemoteBuffer buffer(process_.Handle(), sizeof(LVITEMW) + (kCellChars + 1) * sizeof(wchar_t));
    std::vector<ReportRow> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        rows.emplace_back(ReadCell(list, row, 0, buffer), ReadCell(list, row, 1, buffer));
    }
    return rows;
}

std::vector<ReportRow> RemoteBrowser::InfoRows() const { return ReadReport(IDC_INFO_LIST); }
std::vector<ReportRow> RemoteBrowser::TypeRows() const { return ReadReport(IDC_TYPE_LIST); }

int RemoteBrowser::SelectedTypeRow() const
{
    return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_TYPE_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                MAKELPARAM(LVNI_SELECTED, 0)));
}

bool RemoteBrowser::SettingsEnabled() const { return IsWindowEnabled(GetDlgItem(dialog_, IDC_SETTINGS)) != FALSE; }
bool RemoteBrowser::AboutEnabled() const { return IsWindowEnabled(GetDlgItem(dialog_, IDC_ABOUT)) != FALSE; }

void RemoteBrowser::Click(int controlId) const
{
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, controlId)));
}

void RemoteBrowser::DropDownHistory() const { PostMessageW(GetDlgItem(dialog_, IDC_BROWSE), WM_KEYDOWN, VK_DOWN, 0); }

bool RemoteBrowser::ChooseFromPopupMenu(int item, DWORD timeoutMs) const
{
    HWND popup = WaitForProcessWindow(process_.Id(), L"#32768", timeoutMs);
    if (!popup) return false;
    // Let the menu loop start before keys arrive.
    Sleep(150);
    if (item <= 0) {
        PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        for (int i = 0; i < item; ++i) PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    }
    // The menu's modal loop ends, then the scan runs in the dialog's own loop.
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(popup) && IsWindowVisible(popup) && GetTickCount64() < end) Sleep(20);
    Settle();
    return true;
}

bool RemoteBrowser::PickFolder(const std::wstring& folder, DWORD timeoutMs)
{
    SettleFolderAccessTimes(folder);
    Click(IDC_BROWSE);
    HWND picker = nullptr;
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!picker && GetTickCount64() < end) {
        for (HWND window : ProcessWindows(process_.Id())) {
            if (window != dialog_ && WindowClass(window) == L"#32770" && IsWindowVisible(window) &&
                GetWindow(window, GW_OWNER) == dialog_ && !GetDlgItem(window, 0xFFFF)) {
                picker = window;
            }
        }
        if (!picker) Sleep(30);
    }
    if (!picker) return false;
    // The tree and its selection are in place once the picker shows; the pause lets it finish
    // showing before the selection is changed.
    Sleep(300);
    const size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
    RemoteBuffer text(process_.Handle(), bytes);
    if (!text.Write(folder.c_str(), bytes)) return false;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(text.Address()), SMTO_BLOCK,
                        timeoutMs, &ignored);
    Sleep(100);
    PostMessageW(picker, WM_COMMAND, IDOK, 0);
    while (IsWindow(picker) && GetTickCount64() < end) Sleep(20);
    Settle();
    return !IsWindow(picker);
}

BrowserMessageBox RemoteBrowser::WaitForMessageBox(DWORD timeoutMs) const
{
    BrowserMessageBox box;
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    do {
        for (HWND window : ProcessWindows(process_.Id())) {
            if (!IsMessageBoxOf(window, dialog_)) continue;
            // Let the box finish building its controls before reading them.
            Sleep(100);
            box.window = window;
            box.owner = GetWindow(window, GW_OWNER);
            box.caption = WindowText(window);
            box.text = WindowText(GetDlgItem(window, 0xFFFF));
            return box;
        }
        Sleep(30);
    } while (GetTickCount64() < end);
    return box;
}

DWORD RemoteBrowser::Close(DWORD timeoutMs)
{
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    return process_.Wait(timeoutMs);
}
