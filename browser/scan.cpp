#include "scan.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "dialog.h"
#include "handles.h"
#include "history.h"
#include "inspect.h"
#include "resource.h"
#include "selection.h"

namespace {

constexpr wchar_t kPluginPattern[] = L"*.sph";
// Room for the separator and the pattern beyond the folder itself.
constexpr size_t kPatternExtraChars = 16;

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
