#include "inspect.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <vector>

#include "answer_buffer.h"
#include "fault_guard.h"
#include "handles.h"
#include "module.h"
#include "plugin_call.h"
#include "plugin_library.h"
#include "resource.h"
#include "selection.h"

namespace {

// Information numbers 2k+2 and 2k+3 for k below this: numbers 2 to 65.
constexpr int kMaxFileTypes = 32;

void EnableSettingsButtons(HWND dialog, bool enable)
{
    EnableWindow(GetDlgItem(dialog, IDC_SETTINGS), enable ? TRUE : FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_ABOUT), enable ? TRUE : FALSE);
}

void ClearLists(HWND dialog)
{
    SendMessageW(GetDlgItem(dialog, IDC_INFO_LIST), LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(GetDlgItem(dialog, IDC_TYPE_LIST), LVM_DELETEALLITEMS, 0, 0);
}

// A click already on its way when the dialog was disabled for a plug-in call still changes the
// list's selection: the entry the call was about is selected again, to match the view.
void KeepSelectedEntry(HWND dialog, const std::wstring& entry)
{
    std::wstring selected;
    GetSelectedPluginPath(dialog, &selected);
    if (selected != entry) SelectPluginByName(dialog, entry);
}

struct FileType {
    std::wstring patterns;  // extension patterns, several separated by ';'
    std::wstring formatName;
};

// Types until the first pair with neither pattern nor name, or until the plug-in faults (the
// types read before it stay): what the view shows and what the search for a file's plug-in reads.
std::vector<FileType> PluginFileTypes(GetPluginInfoFn getPluginInfo, bool& faulted)
{
    std::vector<FileType> types;
    for (int k = 0; k < kMaxFileTypes; ++k) {
        FileType type;
        type.patterns = PluginInfoText(getPluginInfo, 2 * k + 2, &faulted);
        if (faulted) break;
        type.formatName = PluginInfoText(getPluginInfo, 2 * k + 3, &faulted);
        if (faulted) break;
        if (type.patterns.empty() && type.formatName.empty()) break;
        types.push_back(type);
    }
    return types;
}

// Returns whether a row was added.
bool FillFileTypes(HWND typeList, GetPluginInfoFn getPluginInfo, bool& faulted)
{
    const std::vector<FileType> types = PluginFileTypes(getPluginInfo, faulted);
    for (const FileType& type : types) AppendReportRow(typeList, type.patterns, type.formatName);
    return !types.empty();
}

void SelectFirstRow(HWND list)
{
    LVITEMW state = {};
    state.state = LVIS_SELECTED;
    state.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

// Everything GetPluginInfo tells, the about text before the API version. False when the
// plug-in faulted: the rows gathered before stay, nothing more is asked.
bool FillFromPluginInfo(HWND infoList, HWND typeList, GetPluginInfoFn getPluginInfo)
{
    bool faulted = false;
    const std::wstring about = PluginInfoText(getPluginInfo, 1, &faulted);
    if (faulted) return false;
    AppendReportRow(infoList, LoadResourceString(IDS_ABOUT), about);
    const std::wstring version = PluginInfoText(getPluginInfo, 0, &faulted);
    if (faulted) return false;
    AppendReportRow(infoList, LoadResourceString(IDS_API_VERSION), version);
    if (FillFileTypes(typeList, getPluginInfo, faulted)) SelectFirstRow(typeList);
    return !faulted;
}

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

void InsertReportColumns(HWND dialog, int controlId, const std::wstring& heading0, const std::wstring& heading1)
{
    HWND list = GetDlgItem(dialog, controlId);
    const std::wstring* headings[] = {&heading0, &heading1};
    for (int index = 0; index < 2; ++index) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.pszText = const_cast<wchar_t*>(headings[index]->c_str());
        column.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
}

bool AppendReportRow(HWND list, const std::wstring& column0, const std::wstring& column1)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(column0.c_str());
    const LRESULT index = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (index == -1) return false;
    item.iItem = static_cast<int>(index);
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(column1.c_str());
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return true;
}

std::wstring PluginInfoText(GetPluginInfoFn getPluginInfo, int infoNumber, bool* faulted)
{
    // Fresh for every call, so that it is zero-filled and no answer leaks into the next.
    const PluginAnswerBuffer answer;
    if (!answer.data()) return std::wstring();
    const char* buffer = answer.data();
    char* text = answer.data();
    int bytes = 0;
    auto ask = [getPluginInfo, infoNumber, text, &bytes] {
        bytes = getPluginInfo(infoNumber, text, plugin::kInfoOfferedBytes);
    };
    const bool returned = CallContained(ask);
    if (faulted) *faulted = !returned;
    // A count the plug-in could not have written (negative, or beyond what it was offered)
    // must never make the conversion read outside the buffer: nothing, or what was offered.
    if (!returned || bytes <= 0) return std::wstring();
    if (bytes > plugin::kInfoOfferedBytes) bytes = plugin::kInfoOfferedBytes;
    return PluginTextToWide(buffer, bytes, GetACP());
}

std::wstring PluginTextToWide(const char* text, int bytes, UINT codePage)
{
    // With Windows' "Unicode UTF-8" option the system's code page is UTF-8, while plug-ins
    // written for Japanese Windows still answer in Shift-JIS.
    constexpr UINT kShiftJis = 932;
    if (codePage == CP_UTF8 && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0) == 0) {
        codePage = kShiftJis;
    }
    const int needed = MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(needed) + 1, L'\0');
    const int converted = MultiByteToWideChar(codePage, 0, text, bytes, wide.data(), needed + 1);
    if (converted <= 0) return std::wstring();
    return std::wstring(wide.data(), static_cast<size_t>(converted));
}

void InspectSelectedPlugin(HWND dialog)
{
    HWND infoList = GetDlgItem(dialog, IDC_INFO_LIST);
    HWND typeList = GetDlgItem(dialog, IDC_TYPE_LIST);
    const handles::RedrawPause infoPause(infoList);
    const handles::RedrawPause typePause(typeList);
    // A switch of a button's state is slow, and disabling the focused button drops the keyboard
    // focus; so the buttons are set once, on every way out: enabled exactly when the plug-in
    // loaded and exports ConfigurationDlg.
    bool configurable = false;
    const auto buttons =
        handles::MakeScopeGuard([dialog, &configurable] { EnableSettingsButtons(dialog, configurable); });
    ClearLists(dialog);

    std::wstring fileName;
    const std::wstring path = GetSelectedPluginPath(dialog, &fileName);
    if (path.empty()) return;
    PluginCallScope call(dialog);
    // A fault while loading counts as a failed load: nothing is shown.
    bool faulted = false;
    PluginLibrary library(LoadPluginLibrary(path, &faulted));
    if (library) {
        AppendReportRow(infoList, LoadResourceString(IDS_FILE_NAME), fileName);
        configurable = GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg) != nullptr;
        const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
        if (getPluginInfo && !FillFromPluginInfo(infoList, typeList, getPluginInfo)) {
            faulted = true;
            call.NoteFault(library.get());
            library.Abandon();
        }
        if (!library.Free()) faulted = true;
    }
    KeepSelectedEntry(dialog, fileName);
    if (faulted) {
        call.NoteFault();
        call.Restore();
        MessageBeep(MB_ICONHAND);
    }
}

void OpenPluginDialog(HWND dialog, int function)
{
    PluginCallScope call(dialog);
    std::wstring entry;
    GetSelectedPluginPath(dialog, &entry);
    bool faulted = false;
    PluginLibrary library(LoadSelectedPlugin(dialog, &faulted));
    const auto configurationDlg =
        library ? GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg) : nullptr;
    if (!configurationDlg) {
        if (!library.Free()) faulted = true;
        if (faulted) {
            call.NoteFault();
            call.Restore();
        }
        MessageBeep(MB_ICONHAND);
        return;
    }
    int result = plugin::kNotImplemented;
    auto open = [configurationDlg, dialog, function, &result] { result = configurationDlg(dialog, function); };
    if (!CallContained(open)) {
        // The plug-in's state is unknown now: its library stays loaded, and the view is not
        // refreshed from it.
        call.NoteFault(library.get());
        library.Abandon();
        call.Restore();
        MessageBeep(MB_ICONHAND);
        return;
    }
    KeepSelectedEntry(dialog, entry);
    if (result != plugin::kNotImplemented) {
        // The refill loads the library a second time while this handle still holds it, so the
        // plug-in is not unloaded and reloaded between its dialog and the refreshed view.
        InspectSelectedPlugin(dialog);
    }
    const bool detached = library.Free();
    if (!detached) {
        call.NoteFault();
        call.Restore();
    }
    if (result != plugin::kSuccess || !detached) MessageBeep(MB_ICONHAND);
}

bool SelectPluginForFile(HWND dialog, const std::wstring& fileName)
{
    const HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const auto restoreCursor = handles::MakeScopeGuard([cursor] { SetCursor(cursor); });
    HWND listBox = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    int found = -1;
    {
        // Put back once the search is over: putting the windows back after a fault enables the
        // dialog, which must stay disabled while the other plug-ins are asked.
        PluginCallScope call(dialog);
        const int count = static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0));
        for (int index = 0; index < count && found < 0; ++index) {
            bool faulted = false;
            if (ClaimsFile(call, GetPluginPath(dialog, index), fileName, faulted)) found = index;
            if (faulted) call.NoteFault();
        }
    }
    if (found < 0) return false;
    // LB_SETCURSEL sends no LBN_SELCHANGE: the inspection is this one.
    SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
    InspectSelectedPlugin(dialog);
    return true;
}
