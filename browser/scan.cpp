#include "scan.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "handles.h"
#include "history.h"
#include "inspection_mark.h"
#include "resource.h"
#include "selection.h"

namespace {

constexpr wchar_t kPluginPattern[] = L"*.sph";
constexpr wchar_t kPluginExtension[] = L".sph";
// Room for the separator and the pattern beyond the folder itself.
constexpr size_t kPatternExtraChars = 16;

// PathCombineW assumes a MAX_PATH buffer whatever the texts are.
std::vector<wchar_t> CombineBuffer(size_t neededChars)
{
    return std::vector<wchar_t>(std::max<size_t>(neededChars, MAX_PATH), L'\0');
}

// The search a scan makes, into a found record filled with zeros; INVALID_HANDLE_VALUE with
// the reason in GetLastError when it finds nothing or fails.
HANDLE FindFirstPluginFile(const std::wstring& folder, WIN32_FIND_DATAW& found)
{
    std::vector<wchar_t> pattern = CombineBuffer(folder.size() + kPatternExtraChars);
    // A combination longer than MAX_PATH fails and leaves the pattern empty: nothing is found.
    PathCombineW(pattern.data(), folder.c_str(), kPluginPattern);
    if (pattern[0] == L'\0') {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return FindFirstFileW(pattern.data(), &found);
}

// The pattern also matches long names through their 8.3 short names: "b.sphx" and
// "c.sph_old" both have a short name ending in ".SPH".
bool IsPluginFileName(const wchar_t* name) { return _wcsicmp(PathFindExtensionW(name), kPluginExtension) == 0; }

void ListPluginFiles(HWND listBox, const std::wstring& folder)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstPluginFile(folder, found);
    if (search == INVALID_HANDLE_VALUE) return;
    handles::UniqueFind owner(search);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const wchar_t* name = found.cFileName[0] != L'\0' ? found.cFileName : found.cAlternateFileName;
        if (!IsPluginFileName(name)) continue;
        SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    } while (FindNextFileW(search, &found));
}

}  // namespace

void ScanFolder(HWND dialog, const std::wstring& folder, const std::wstring& entryToSelect)
{
    SetDlgItemTextW(dialog, IDC_FOLDER, folder.c_str());
    SetListReady(dialog, false);
    HWND listBox = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    {
        const handles::RedrawPause pause(listBox);
        SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
        ListPluginFiles(listBox, folder);

        const LRESULT count = SendMessageW(listBox, LB_GETCOUNT, 0, 0);
        // LB_SETCURSEL sends no LBN_SELCHANGE: the inspection below is the only one, so an entry
        // asked for by name is chosen before it and the first entry is never loaded in vain.
        if (count != LB_ERR && count != 0 && !SelectPluginByName(dialog, entryToSelect)) {
            SendMessageW(listBox, LB_SETCURSEL, 0, 0);
        }
    }
    SetListReady(dialog, true);

    InspectSelectionOfScan(dialog);
    AddFolderToHistory(GetSettingsFilePath(dialog), folder);
}

bool CanScanFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstPluginFile(folder, found);
    if (search == INVALID_HANDLE_VALUE) {
        // A folder that holds no plug-in is one that could be read.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    handles::UniqueFind owner(search);
    return true;
}

void RescanFolder(HWND dialog)
{
    std::wstring selected;
    GetSelectedPluginPath(dialog, &selected);
    ScanFolder(dialog, GetFolderText(dialog), selected);
}
