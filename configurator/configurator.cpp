#include "configurator.h"

#include <shlwapi.h>

#include <exception>
#include <string>

#include "fault_guard.h"
#include "module.h"
#include "plugin.h"
#include "plugin_call.h"
#include "plugin_library.h"
#include "resource.h"

namespace {

constexpr wchar_t kProductNameFallback[] = L"Plexmoor1";
constexpr int kSettingsFunction = 1;
// Keeps a plug-in's "not implemented" (-1) apart from DialogBoxParamW's own failure value.
constexpr int kHostResultOffset = 10;

constexpr int kExitUsage = -1;
constexpr int kExitSuccess = 0;
constexpr int kExitException = 2;

// Handed to the host dialog at creation. The host records whether it called the plug-in and
// what came back: a plug-in result of -11 reaches DialogBoxParamW as -1 after the offset, the
// same value that means "no host", so that value alone cannot tell whether the call was made.
struct HostCall {
    ConfigurationDlgFn configurationDlg;
    bool called = false;
    int result = 0;
    bool faulted = false;
    HMODULE library = nullptr;  // the plug-in's, for what a fault leaves behind
};

// The one call of the plug-in's settings dialog, contained: a fault is recorded, and the windows
// it left behind are cleaned up, so the message about it stands alone.
void CallSettingsDialog(HostCall& call, HWND parent)
{
    PluginCallScope scope(parent);
    call.called = true;
    const ConfigurationDlgFn configurationDlg = call.configurationDlg;
    int result = 0;
    auto open = [configurationDlg, parent, &result] { result = configurationDlg(parent, kSettingsFunction); };
    call.faulted = !CallContained(open);
    call.result = call.faulted ? 0 : result;
    if (call.faulted) scope.NoteFault(call.library);
}

const wchar_t* Caption() { return GetVersionString(L"ProductName", kProductNameFallback); }

UINT ResultMessageId(int result)
{
    constexpr int kFirstNumbered = 1;
    constexpr int kLastNumbered = 8;
    if (result >= kFirstNumbered && result <= kLastNumbered) {
        return IDS_RESULT_FIRST_ERROR + static_cast<UINT>(result - kFirstNumbered);
    }
    return IDS_RESULT_OTHER;
}

// Wraps like a 32-bit register instead of overflowing: a plug-in may return any int.
int OffsetResult(int result)
{
    return static_cast<int>(static_cast<unsigned>(result) + static_cast<unsigned>(kHostResultOffset));
}

}  // namespace

int ShowUsageMessage()
{
    std::wstring text = GetProgramName();
    text += L"  Version ";
    text += GetVersionString(L"ProductVersion", nullptr);
    text += L"  ";
    text += GetVersionString(L"LegalCopyright", nullptr);
    text += L"\r\n\r\n";
    text += LoadResourceString(IDS_USAGE_BEFORE_NAME);
    text += GetProgramName();
    text += LoadResourceString(IDS_USAGE_AFTER_NAME);
    MessageBoxW(nullptr, text.c_str(), Caption(), MB_OK);
    return kExitUsage;
}

int ShowPluginMessage(int stringId, const wchar_t* pluginPath, UINT style)
{
    const std::wstring text = LoadResourceString(static_cast<UINT>(stringId)) + L"\r\n" + pluginPath;
    MessageBoxW(nullptr, text.c_str(), Caption(), style);
    return 1;
}

INT_PTR CALLBACK HostDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The plug-in's dialog opens from the host's own message loop, once the host exists.
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        PostMessageW(window, WM_USER, 0, lParam);
        return FALSE;
    case WM_USER: {
        // WM_USER is also DM_GETDEFID, which the dialog manager may send with lParam 0: only
        // the message posted above carries the creation parameter, and it is acted on once.
        auto* call = reinterpret_cast<HostCall*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!call || lParam != reinterpret_cast<LPARAM>(call) || call->called) return FALSE;
        CallSettingsDialog(*call, window);
        EndDialog(window, static_cast<INT_PTR>(OffsetResult(call->result)));
        return TRUE;
    }
    default:
        return FALSE;
    }
}

int RunConfigurator(int argc, const wchar_t* const* argv)
{
    ApplyLocaleFromStringTable(IDS_LOCALE);
    if (argc <= 1 || !argv) return ShowUsageMessage();

    const wchar_t* pluginPath = argv[1];
    if (PathIsRelativeW(pluginPath)) return ShowPluginMessage(IDS_RELATIVE_PATH, pluginPath, MB_ICONERROR);

    // Freed on every way out, an exception included, after any message about it has been shown;
    // never once the plug-in has faulted. A fault while loading is a failed load.
    PluginLibrary library(LoadPluginLibrary(pluginPath));
    if (!library) return ShowPluginMessage(IDS_LOAD_FAILED, pluginPath, MB_ICONERROR);
    if (!GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo)) {
        return ShowPluginMessage(IDS_NOT_A_PLUGIN, pluginPath, MB_ICONERROR);
    }
    const auto configurationDlg = GetPluginExport<ConfigurationDlgFn>(library.get(), plugin::kConfigurationDlg);
    if (!configurationDlg) return ShowPluginMessage(IDS_NO_SETTINGS, pluginPath, MB_OK);

    MessageBeep(MB_OK);
    HostCall call{configurationDlg};
    call.library = library.get();
    DialogBoxParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_CONFIG_HOST), nullptr, HostDialogProc,
                    reinterpret_cast<LPARAM>(&call));
    // Without a host (its creation failed, or it ended before its posted message arrived)
    // the settings dialog still opens, without a parent; the plug-in is called once either way.
    if (!call.called) CallSettingsDialog(call, nullptr);
    if (call.faulted) {
        library.Abandon();
        return ShowPluginMessage(IDS_PLUGIN_FAULT, pluginPath, MB_ICONERROR);
    }

    const int code = call.result;
    if (code == plugin::kSuccess || code == plugin::kNotImplemented) {
        // Freed before the end, so that a plug-in faulting as it detaches is reported too.
        if (!library.Free()) return ShowPluginMessage(IDS_PLUGIN_FAULT, pluginPath, MB_ICONERROR);
        return kExitSuccess;
    }
    return ShowPluginMessage(static_cast<int>(ResultMessageId(code)), pluginPath, MB_ICONERROR);
}

int ReportEscapedException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), nullptr, MB_ICONERROR);
    } catch (...) {
        MessageBoxW(nullptr, L"Internal error.", nullptr, MB_ICONERROR);
    }
    return kExitException;
}
