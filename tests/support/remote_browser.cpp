#include "remote_browser.h"

#include <commctrl.h>

#include "resource.h"

RemoteBrowser::RemoteBrowser(const wchar_t* exeName, const std::wstring& arguments)
    : program_(ExecutableDir() + L"\\" + exeName, arguments)
{
    dialog_ = WaitForWindow(program_.Id(), L"#32770", nullptr, 30000);
    if (dialog_) Settle();
}

void RemoteBrowser::Settle() const { SettlePosted(Item(IDC_FOLDER)); }
std::wstring RemoteBrowser::Folder() const { return TextOf(Item(IDC_FOLDER)); }
std::vector<std::wstring> RemoteBrowser::PluginNames() const { return ListBoxItems(Item(IDC_PLUGIN_LIST)); }
int RemoteBrowser::PluginCount() const { return static_cast<int>(SendMessageW(Item(IDC_PLUGIN_LIST), LB_GETCOUNT, 0, 0)); }
int RemoteBrowser::SelectedPlugin() const { return static_cast<int>(SendMessageW(Item(IDC_PLUGIN_LIST), LB_GETCURSEL, 0, 0)); }

void RemoteBrowser::SelectPlugin(int index) const
{
    HWND list = Item(IDC_PLUGIN_LIST);
    PostMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    Settle();
}

void RemoteBrowser::DoubleClickSelectedPlugin() const
{
    HWND list = Item(IDC_PLUGIN_LIST);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    // The middle of the entry, in the list's client coordinates.
    const LPARAM at = MAKELPARAM(8, static_cast<int>((selected - top) * height + height / 2));
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    Settle();
}

std::vector<Row> RemoteBrowser::InfoRows() const { return ListViewRows(Item(IDC_INFO_LIST)); }
std::vector<Row> RemoteBrowser::TypeRows() const { return ListViewRows(Item(IDC_TYPE_LIST)); }
int RemoteBrowser::SelectedTypeRow() const { return ListViewSelection(Item(IDC_TYPE_LIST)); }

void RemoteBrowser::Click(int controlId) const
{
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), reinterpret_cast<LPARAM>(Item(controlId)));
}

bool RemoteBrowser::Drop(const std::vector<std::wstring>& paths) const
{
    return DropFiles(dialog_, paths, [this] { Settle(); });
}

void RemoteBrowser::PressKey(int controlId, WPARAM key) const
{
    // Repeat count 1; bits 30 and 31 tell a fresh press and a release.
    PostMessageW(Item(controlId), WM_KEYDOWN, key, 1);
    PostMessageW(Item(controlId), WM_KEYUP, key, 1 | (3u << 30));
    Settle();
}

void RemoteBrowser::DropDownHistory() const { PostMessageW(Item(IDC_BROWSE), WM_KEYDOWN, VK_DOWN, 0); }

bool RemoteBrowser::ChooseFromPopupMenu(int item) const
{
    HWND menu = WaitForWindow(program_.Id(), L"#32768", nullptr, 5000);
    const bool answered = menu && AnswerPopupMenu(menu, item);
    // The menu's loop has ended; the scan it asked for runs in the dialog's own loop.
    Settle();
    return answered;
}

bool RemoteBrowser::PickFolder(const std::wstring& folder) const
{
    SettleFolderAccessTimes(folder);
    Click(IDC_BROWSE);
    HWND picker = WaitForWindow(program_.Id(), L"#32770", dialog_);
    const bool answered = picker && AnswerPicker(picker, PickerAnswer::SelectThenAccept, folder);
    Settle();
    return answered;
}

MessageBoxView RemoteBrowser::WaitForMessageBox(DWORD timeoutMs) const
{
    return ::WaitForMessageBox(program_.Id(), timeoutMs);
}

bool RemoteBrowser::ShowsMessageBox() const
{
    Settle();
    return FindMessageBox(program_.Id()) != nullptr;
}

DWORD RemoteBrowser::Close(DWORD timeoutMs) const
{
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    return program_.Wait(timeoutMs);
}
