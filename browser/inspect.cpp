#include "inspect.h"

#include <commctrl.h>

#include <vector>

#include "fault_guard.h"
#include "handles.h"
#include "module.h"
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

// Types until the first pair with neither pattern nor name, or until the plug-in faults;
// returns whether a row was added.
bool FillFileTypes(HWND typeList, GetPluginInfoFn getPluginInfo, bool& faulted)
{
    bool added = false;
    for (int k = 0; k < kMaxFileTypes; ++k) {
        const std::wstring extension = PluginInfoText(getPluginInfo, 2 * k + 2, &faulted);
        if (faulted) break;
        const std::wstring formatName = PluginInfoText(getPluginInfo, 2 * k + 3, &faulted);
        if (faulted) break;
        if (extension.empty() && formatName.empty()) break;
        AppendReportRow(typeList, extension, formatName);
        added = true;
    }
    return added;
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

    const int needed = MultiByteToWideChar(CP_ACP, 0, buffer, bytes, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(needed) + 1, L'\0');
    const int converted = MultiByteToWideChar(CP_ACP, 0, buffer, bytes, wide.data(), needed + 1);
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
    const WindowsBeforePluginCall windows(dialog);
    // A fault while loading counts as a failed load: nothing is shown.
    bool faulted = false;
    PluginLibrary library(LoadPluginLibrary(path, &faulted));
    if (library) {
        AppendReportRow(infoList, LoadResourceString(IDS_FILE_NAME), fileName);
        configurable = GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg) != nullptr;
        const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
        if (getPluginInfo && !FillFromPluginInfo(infoList, typeList, getPluginInfo)) {
            faulted = true;
            library.Abandon();
        }
        if (!library.Free()) faulted = true;
    }
    if (faulted) {
        windows.RestoreAfterFault();
        MessageBeep(MB_ICONHAND);
    }
}

void OpenPluginDialog(HWND dialog, int function)
{
    const WindowsBeforePluginCall windows(dialog);
    bool faulted = false;
    PluginLibrary library(LoadSelectedPlugin(dialog, &faulted));
    const auto configurationDlg =
        library ? GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg) : nullptr;
    if (!configurationDlg) {
        if (!library.Free()) faulted = true;
        if (faulted) windows.RestoreAfterFault();
        MessageBeep(MB_ICONHAND);
        return;
    }
    int result = plugin::kNotImplemented;
    auto open = [configurationDlg, dialog, function, &result] { result = configurationDlg(dialog, function); };
    if (!CallContained(open)) {
        // The plug-in's state is unknown now: its library stays loaded, and the view is not
        // refreshed from it.
        library.Abandon();
        windows.RestoreAfterFault();
        MessageBeep(MB_ICONHAND);
        return;
    }
    if (result != plugin::kNotImplemented) {
        // The refill loads the library a second time while this handle still holds it, so the
        // plug-in is not unloaded and reloaded between its dialog and the refreshed view.
        InspectSelectedPlugin(dialog);
    }
    const bool detached = library.Free();
    if (!detached) windows.RestoreAfterFault();
    if (result != plugin::kSuccess || !detached) MessageBeep(MB_ICONHAND);
}
