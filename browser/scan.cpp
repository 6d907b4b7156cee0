#include "scan.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "dialog.h"
#include "handles.h"
#include "history.h"
#include "inspect.h"
#include "plugin_library.h"
#include "resource.h"

namespace {

constexpr wchar_t kPluginPattern[] = L"*.sph";
// Room for the separator and the pattern beyond the folder itself.
constexpr size_t kPatternExtraChars = 16;
// Room for a separator and the terminator between folder and entry.
constexpr size_t kPathExtraChars = 4;

// PathCombineW assumes a MAX_PATH buffer whatever the texts are.
std::vector<wchar_t> CombineBuffer(size_t neededChars)
{
    return std::vector<wchar_t>(std::max<size_t>(neededChars, MAX_PATH), L'\0');
}

void ListPluginFiles(HWND listBox, const std::wstring& folder)
{
    std::vector<wchar_t> pattern = CombineBuffer(folder.size() + kPatternExtraChars);
    // A combination longer than MAX_PATH fails and leaves the pattern empty: nothing is found.
    PathCombineW(pattern.data(), folder.c_str(), kPluginPattern);

    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(pattern.data(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    handles::UniqueFind owner(search);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const wchar_t* name = found.cFileName[0] != L'\0' ? found.cFileName : found.cAlternateFileName;
        SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    } while (FindNextFileW(search, &found));
}

}  // namespace

void ScanFolder(HWND dialog, const std::wstring& folder)
{
    SetDlgItemTextW(dialog, IDC_FOLDER, folder.c_str());
    SetListReady(dialog, false);
    HWND listBox = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    {
        const handles::RedrawPause pause(listBox);
        SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
        ListPluginFiles(listBox, folder);

        const LRESULT count = SendMessageW(listBox, LB_GETCOUNT, 0, 0);
        // LB_SETCURSEL sends no LBN_SELCHANGE: the inspection below is the only one.
        if (count != LB_ERR && count != 0) SendMessageW(listBox, LB_SETCURSEL, 0, 0);
    }
    SetListReady(dialog, true);

    InspectSelectedPlugin(dialog);
    AddFolderToHistory(GetSettingsFilePath(dialog), folder);
}

std::wstring GetSelectedPluginPath(HWND dialog, std::wstring* fileName)
{
    if (fileName) fileName->clear();
    const LRESULT selected = SendDlgItemMessageW(dialog, IDC_PLUGIN_LIST, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return std::wstring();
    const std::wstring entry = GetListBoxItemText(GetDlgItem(dialog, IDC_PLUGIN_LIST), static_cast<int>(selected));
    if (entry.empty()) return std::wstring();
    if (fileName) *fileName = entry;

    const std::wstring folder = GetFolderText(dialog);
    std::vector<wchar_t> path = CombineBuffer(entry.size() + folder.size() + kPathExtraChars);
    // A full path longer than MAX_PATH fails to combine and leaves the path empty.
    PathCombineW(path.data(), folder.c_str(), entry.c_str());
    return std::wstring(path.data());
}

HMODULE LoadSelectedPlugin(HWND dialog, bool* faulted)
{
    if (faulted) *faulted = false;
    const std::wstring path = GetSelectedPluginPath(dialog);
    if (path.empty()) return nullptr;
    return LoadPluginLibrary(path, faulted);
}

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
