#include "dialog.h"

#include <commctrl.h>

#include "clipboard.h"
#include "drop.h"
#include "handles.h"
#include "history.h"
#include "inspect.h"
#include "inspection_mark.h"
#include "keys.h"
#include "layout.h"
#include "message.h"
#include "module.h"
#include "picker.h"
#include "resource.h"
#include "scan.h"
#include "selection.h"

namespace {

constexpr float kInfoColumnFraction = 0.15f;
constexpr float kTypeColumnFraction = 0.4f;
// Posted on a DPI change: the widths follow the lists' sizes, which the dialog takes only
// when the default handling of WM_DPICHANGED has run, after the dialog procedure returns.
constexpr UINT kLayOutColumns = WM_APP + 1;

void SetColumnWidths(HWND dialog)
{
    SetReportColumnWidths(dialog, IDC_INFO_LIST, kInfoColumnFraction);
    SetReportColumnWidths(dialog, IDC_TYPE_LIST, kTypeColumnFraction);
}

// The split button needs common controls 6, which Windows before 6.0 does not have.
bool IsVistaOrLater()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 0;
    version.wProductType = VER_NT_WORKSTATION;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_PRODUCT_TYPE, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_PRODUCT_TYPE, mask) != FALSE;
}

// The dialog is disabled while a plug-in's code runs, or a modal window of ours is up. What still
// comes in meanwhile (a click that was already on its way, a plug-in's own message loop passing
// it on) is refused rather than run inside that call.
bool RefusedWhileDisabled(HWND dialog)
{
    if (IsWindowEnabled(dialog)) return false;
    MessageBeep(MB_ICONHAND);
    return true;
}

BOOL OnInitDialog(HWND dialog)
{
    SetWindowTextW(dialog, GetProductTitle());
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    InsertReportColumns(dialog, IDC_INFO_LIST, LoadResourceString(IDS_INFO_COLUMN_KIND),
                        LoadResourceString(IDS_INFO_COLUMN_CONTENT));
    InsertReportColumns(dialog, IDC_TYPE_LIST, LoadResourceString(IDS_TYPE_COLUMN_EXTENSION),
                        LoadResourceString(IDS_TYPE_COLUMN_FORMAT));
    SetColumnWidths(dialog);
    ScanFolder(dialog, GetInitialFolder(dialog));
    if (IsVistaOrLater()) {
        HWND browse = GetDlgItem(dialog, IDC_BROWSE);
        SetWindowLongW(browse, GWL_STYLE, GetWindowLongW(browse, GWL_STYLE) | BS_SPLITBUTTON);
    }
    // Drops and F5 are taken from here on: never before the first scan is done.
    DragAcceptFiles(dialog, TRUE);
    RouteRefreshKey(dialog);
    // No initial focus: the first scan has already put the view in order.
    return FALSE;
}

BOOL OnCommand(HWND dialog, WPARAM wParam)
{
    const WORD id = LOWORD(wParam);
    const WORD code = HIWORD(wParam);
    // A double-click asks for the selected entry on purpose: a plug-in that a lost start holds
    // back is tried as a new selection is, any other is inspected again.
    if ((code == LBN_SELCHANGE || code == LBN_DBLCLK) && id == IDC_PLUGIN_LIST) {
        if (IsListReady(dialog) && !RefusedWhileDisabled(dialog)) {
            InspectSelectedPlugin(dialog);
            ForgetLostStartsOfSelection(dialog);
        }
        return TRUE;
    }
    if (code != BN_CLICKED) return FALSE;
    if (id != IDOK && id != IDCANCEL && RefusedWhileDisabled(dialog)) return TRUE;
    switch (id) {
    case IDC_BROWSE: BrowseForPluginFolder(dialog); return TRUE;
    case IDC_SETTINGS: OpenPluginDialog(dialog, 1); return TRUE;
    case IDC_ABOUT: OpenPluginDialog(dialog, 0); return TRUE;
    case IDC_COPY_ALL_EXT: CopyAllExtensions(GetDlgItem(dialog, IDC_TYPE_LIST)); return TRUE;
    default: return FALSE;  // IDOK and IDCANCEL too: Enter and Escape never close the browser
    }
}

BOOL OnNotify(HWND dialog, const NMHDR* header)
{
    if (header->code == BCN_DROPDOWN && header->idFrom == IDC_BROWSE) {
        if (!RefusedWhileDisabled(dialog)) ShowFolderHistoryMenu(dialog);
        return TRUE;
    }
    return FALSE;
}

BOOL OnContextMenu(HWND dialog, HWND target, LPARAM position)
{
    HWND list = GetDlgItem(dialog, IDC_TYPE_LIST);
    if (target != list) return FALSE;
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row == -1) return FALSE;
    if (RefusedWhileDisabled(dialog)) return TRUE;

    POINT at = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    // (-1, -1) means the keyboard asked: open at the selected row instead of the pointer.
    if (at.x == -1 && at.y == -1) {
        RECT bounds = {};
        bounds.left = LVIR_BOUNDS;
        if (SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds))) {
            at = {bounds.left, bounds.bottom};
            ClientToScreen(list, &at);
        }
    }

    handles::UniqueMenu menu(LoadMenuW(GetInstanceHandle(), MAKEINTRESOURCEW(IDR_TYPE_MENU)));
    const int command = TrackPopupMenu(GetSubMenu(menu.get(), 0), TPM_RETURNCMD, at.x, at.y, 0, dialog, nullptr);
    if (command == ID_COPY_EXTENSION) CopyTypeCell(list, row, 0);
    if (command == ID_COPY_FORMAT_NAME) CopyTypeCell(list, row, 1);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK BrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_COMMAND: return OnCommand(dialog, wParam);
    case WM_NOTIFY: return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
    case WM_CONTEXTMENU: return OnContextMenu(dialog, reinterpret_cast<HWND>(wParam), lParam);
    case WM_SYSCOMMAND:
        // Posting WM_CLOSE keeps every close path (caption button, Alt+F4, system menu)
        // on the one WM_CLOSE handling below.
        if (wParam == SC_CLOSE) {
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_DROPFILES: OpenDroppedItem(dialog, reinterpret_cast<HDROP>(wParam)); return TRUE;
    // The dialog's own keys, for when none of its controls has the focus.
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return HandleRefreshKey(dialog, message, wParam, lParam);
    case WM_CLOSE: EndDialog(dialog, 2); return TRUE;
    case WM_DPICHANGED: PostMessageW(dialog, kLayOutColumns, 0, 0); return FALSE;
    case kLayOutColumns: SetColumnWidths(dialog); return TRUE;
    default: return FALSE;
    }
}
