#include "selection.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "plugin_library.h"
#include "resource.h"

namespace {

// Room for a separator and the terminator between folder and entry.
constexpr size_t kPathExtraChars = 4;

}  // namespace

std::wstring GetFolderText(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, IDC_FOLDER);
    const LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data(), static_cast<size_t>(std::min<LRESULT>(std::max<LRESULT>(copied, 0), length)));
}

std::wstring GetListBoxItemText(HWND listBox, int index)
{
    const LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length < 0) return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == LB_ERR || copied < 0) return std::wstring();
    return std::wstring(text.data(), static_cast<size_t>(std::min(copied, length)));
}

std::wstring GetPluginPath(HWND dialog, int index, std::wstring* fileName)
{
    if (fileName) fileName->clear();
    if (index < 0) return std::wstring();
    const std::wstring entry = GetListBoxItemText(GetDlgItem(dialog, IDC_PLUGIN_LIST), index);
    if (entry.empty()) return std::wstring();
    if (fileName) *fileName = entry;

    const std::wstring folder = GetFolderText(dialog);
    // PathCombineW assumes a MAX_PATH buffer whatever the texts are.
    std::vector<wchar_t> path(std::max<size_t>(entry.size() + folder.size() + kPathExtraChars, MAX_PATH), L'\0');
    // A full path longer than MAX_PATH fails to combine and leaves the path empty.
    PathCombineW(path.data(), folder.c_str(), entry.c_str());
    return std::wstring(path.data());
}

std::wstring GetSelectedPluginPath(HWND dialog, std::wstring* fileName)
{
    // LB_ERR, nothing selected, is -1.
    const LRESULT selected = SendDlgItemMessageW(dialog, IDC_PLUGIN_LIST, LB_GETCURSEL, 0, 0);
    return GetPluginPath(dialog, static_cast<int>(selected), fileName);
}

PluginLibrary LoadSelectedPlugin(HWND dialog, bool* faulted)
{
    if (faulted) *faulted = false;
    const std::wstring path = GetSelectedPluginPath(dialog);
    if (path.empty()) return PluginLibrary();
    return LoadPluginLibrary(path, faulted);
}

bool SelectPluginByName(HWND dialog, const std::wstring& name)
{
    if (name.empty()) return false;
    HWND listBox = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    // The search ignores letter case, as Windows does in file names.
    const LRESULT index =
        SendMessageW(listBox, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
    if (index == LB_ERR) return false;
    // LB_SETCURSEL sends no LBN_SELCHANGE: the caller inspects.
    SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return true;
}

bool IsListReady(HWND dialog)
{
    return (GetWindowLongPtrW(dialog, DWLP_USER) & 1) != 0;
}

void SetListReady(HWND dialog, bool ready)
{
    LONG_PTR value = GetWindowLongPtrW(dialog, DWLP_USER);
    value = ready ? (value | 1) : (value & ~static_cast<LONG_PTR>(1));
    SetWindowLongPtrW(dialog, DWLP_USER, value);
}
