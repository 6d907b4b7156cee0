#include "search.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "handles.h"
#include "inspect.h"
#include "inspection_mark.h"
#include "plugin_call.h"
#include "plugin_info.h"
#include "plugin_library.h"
#include "resource.h"
#include "selection.h"

namespace {

// Whether one of the ';'-separated patterns matches the name, as Windows matches wildcards,
// without regard to case. PathMatchSpecExW would split the list itself, but only from Windows 7 on.
bool MatchesAnyPattern(const std::wstring& fileName, const std::wstring& patterns)
{
    for (size_t start = 0;;) {
        const size_t end = patterns.find(L';', start);
        std::wstring pattern = patterns.substr(start, end == std::wstring::npos ? end : end - start);
        pattern.erase(0, pattern.find_first_not_of(L' '));
        pattern.erase(pattern.find_last_not_of(L' ') + 1);
        // The system takes a pattern of at most MAX_PATH characters.
        if (!pattern.empty() && pattern.size() < MAX_PATH && PathMatchSpecW(fileName.c_str(), pattern.c_str())) {
            return true;
        }
        if (end == std::wstring::npos) return false;
        start = end + 1;
    }
}

// Whether the plug-in at path names the file among its types. One that faults while asked
// names nothing, and stays loaded; the call scope puts back what it left.
bool ClaimsFile(PluginCallScope& call, const std::wstring& path, const std::wstring& fileName, bool& faulted)
{
    faulted = false;
    if (path.empty()) return false;
    bool claims = false;
    PluginLibrary library(LoadPluginLibrary(path, &faulted));
    const auto getPluginInfo =
        library ? GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo) : nullptr;
    if (getPluginInfo) {
        for (const FileType& type : PluginFileTypes(getPluginInfo, faulted)) {
            if (MatchesAnyPattern(fileName, type.patterns)) claims = true;
        }
        if (faulted) {
            call.NoteFault(library.get());
            library.Abandon();
        }
    }
    if (!library.Free()) faulted = true;
    return claims && !faulted;
}

}  // namespace

bool SelectPluginForFile(HWND dialog, const std::wstring& fileName)
{
    const HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const auto restoreCursor = handles::MakeScopeGuard([cursor] { SetCursor(cursor); });
    HWND listBox = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    int found = -1;
    {
        const std::vector<std::wstring> heldBack = HeldBackPlugins(dialog);
        // Put back once the search is over: putting the windows back after a fault enables the
        // dialog, which must stay disabled while the other plug-ins are asked.
        PluginCallScope call(dialog);
        const int count = static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0));
        for (int index = 0; index < count && found < 0; ++index) {
            const std::wstring path = GetPluginPath(dialog, index);
            if (IsHeldBack(heldBack, path)) continue;
            bool faulted = false;
            if (ClaimsFile(call, path, fileName, faulted)) found = index;
            if (faulted) call.NoteFault();
        }
    }
    if (found < 0) return false;
    // LB_SETCURSEL sends no LBN_SELCHANGE: the inspection is this one.
    SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
    InspectSelectedPlugin(dialog);
    return true;
}
