#include "inspect.h"

#include <commctrl.h>

#include "fault_guard.h"
#include "handles.h"
#include "module.h"
#include "plugin_call.h"
#include "plugin_info.h"
#include "plugin_library.h"
#include "resource.h"
#include "selection.h"

namespace {

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

void SelectFirstRow(HWND list)
{
    LVITEMW state = {};
    state.state = LVIS_SELECTED;
    state.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

// What one load of the selected plug-in told, kept as plain values.
struct Inspection {
    bool loaded = false;
    bool configurable = false;
    PluginInfo info;
    bool faulted = false;
};

// Asks the plug-in everything the view shows, inside one plug-in call; draws nothing, so that
// the lists can repaint under any window the plug-in shows meanwhile.
Inspection AskPlugin(HWND dialog, const std::wstring& path)
{
    Inspection inspection;
    PluginCallScope call(dialog);
    // A fault while loading counts as a failed load: nothing is shown.
    PluginLibrary library(LoadPluginLibrary(path, &inspection.faulted));
    if (library) {
        inspection.loaded = true;
        inspection.configurable =
            GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg) != nullptr;
        if (const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo)) {
            inspection.info = AskPluginInfo(getPluginInfo);
            if (inspection.info.faulted) {
                inspection.faulted = true;
                call.NoteFault(library.get());
                library.Abandon();
            }
        }
        if (!library.Free()) inspection.faulted = true;
    }
    if (inspection.faulted) call.NoteFault();
    return inspection;
}

// The view made anew: emptied, then the rows of a loaded plug-in, what it told before any fault,
// the about text before the API version. Until then the lists keep the rows they had: emptied
// with their redraw on, they cost a fifth of an inspection more under Wine, and paused, they could
// not repaint under a window the plug-in shows.
void ShowInspection(HWND dialog, const std::wstring& fileName, const Inspection& inspection)
{
    HWND infoList = GetDlgItem(dialog, IDC_INFO_LIST);
    HWND typeList = GetDlgItem(dialog, IDC_TYPE_LIST);
    const handles::RedrawPause infoPause(infoList);
    const handles::RedrawPause typePause(typeList);
    ClearLists(dialog);
    if (!inspection.loaded) return;
    AppendReportRow(infoList, LoadResourceString(IDS_FILE_NAME), fileName);
    const PluginInfo& info = inspection.info;
    if (info.hasAbout) AppendReportRow(infoList, LoadResourceString(IDS_ABOUT), info.about);
    if (info.hasVersion) AppendReportRow(infoList, LoadResourceString(IDS_API_VERSION), info.version);
    for (const FileType& type : info.types) AppendReportRow(typeList, type.patterns, type.formatName);
    if (!info.types.empty()) SelectFirstRow(typeList);
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

void InspectSelectedPlugin(HWND dialog)
{
    // A switch of a button's state is slow, and disabling the focused button drops the keyboard
    // focus; so the buttons are set once, on every way out: enabled exactly when the plug-in
    // loaded and exports ConfigurationDlg.
    bool configurable = false;
    const auto buttons =
        handles::MakeScopeGuard([dialog, &configurable] { EnableSettingsButtons(dialog, configurable); });
    std::wstring fileName;
    const std::wstring path = GetSelectedPluginPath(dialog, &fileName);
    const Inspection inspection = path.empty() ? Inspection() : AskPlugin(dialog, path);
    configurable = inspection.configurable;
    ShowInspection(dialog, fileName, inspection);
    if (path.empty()) return;
    KeepSelectedEntry(dialog, fileName);
    if (inspection.faulted) MessageBeep(MB_ICONHAND);
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
