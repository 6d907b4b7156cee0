#include "picker.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "handles.h"
#include "history.h"
#include "module.h"
#include "resource.h"
#include "scan.h"
#include "selection.h"

namespace {

constexpr DWORD kPathBufferChars = 0x8000;
constexpr UINT kPickerFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

// The new-style picker hosts shell views that need a single-threaded apartment.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

// A single "&" would be taken for a mnemonic mark and vanish from the folder's name.
std::wstring MenuTextOf(const std::wstring& folder)
{
    std::wstring text;
    text.reserve(folder.size());
    for (wchar_t c : folder) {
        if (c == L'&') text += L'&';
        text += c;
    }
    return text;
}

BOOL CALLBACK FindTreeViewChild(HWND child, LPARAM found)
{
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (_wcsicmp(className, WC_TREEVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// The new-style picker nests its tree inside a shell control; the old one holds it directly.
HWND FindTreeView(HWND picker)
{
    HWND tree = nullptr;
    EnumChildWindows(picker, FindTreeViewChild, reinterpret_cast<LPARAM>(&tree));
    return tree;
}

}  // namespace

void ShowFolderHistoryMenu(HWND dialog)
{
    const std::vector<std::wstring> history = ReadFolderHistory(GetSettingsFilePath(dialog));
    if (history.empty()) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    RECT button = {};
    GetWindowRect(GetDlgItem(dialog, IDC_BROWSE), &button);

    handles::UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    for (size_t i = 0; i < history.size(); ++i) {
        AppendMenuW(menu.get(), MF_STRING, i + 1, MenuTextOf(history[i]).c_str());
    }
    const int chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTALIGN, button.right, button.bottom, 0,
                                      dialog, nullptr);
    menu.reset();
    if (chosen < 1 || static_cast<size_t>(chosen) > history.size()) return;
    ScanFolder(dialog, history[static_cast<size_t>(chosen) - 1]);
    SetFocus(GetDlgItem(dialog, IDC_PLUGIN_LIST));
}

void BrowseForPluginFolder(HWND dialog)
{
    const std::wstring initial = GetFolderText(dialog);
    const std::wstring title = LoadResourceString(IDS_PICK_FOLDER_TITLE);
    const std::wstring chosen = PickFolder(dialog, title, initial);
    if (!chosen.empty()) ScanFolder(dialog, chosen);
}

std::wstring PickFolder(HWND owner, const std::wstring& title, const std::wstring& initialFolder)
{
    ComApartment apartment;
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    info.ulFlags = kPickerFlags;
    info.lpfn = PickFolderCallback;
    PickerStart start = {initialFolder.c_str(), false};
    info.lParam = reinterpret_cast<LPARAM>(&start);
    info.iImage = 0;

    handles::UniqueCoTaskMem<ITEMIDLIST> item(SHBrowseForFolderW(&info));
    if (!item) return std::wstring();
    std::vector<wchar_t> path(kPathBufferChars, L'\0');
    if (!SHGetPathFromIDListW(item.get(), path.data())) return std::wstring();
    // A drive root keeps its backslash: "C:" alone would mean the drive's current folder.
    PathRemoveBackslashW(path.data());
    return std::wstring(path.data());
}

int CALLBACK PickFolderCallback(HWND window, UINT message, LPARAM /*messageParam*/, LPARAM data)
{
    auto* start = reinterpret_cast<PickerStart*>(data);
    if (!start) return 0;
    if (message == BFFM_INITIALIZED) {
        // Armed first: the selection change may arrive inside the call.
        start->pending = true;
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->folder));
    } else if (message == BFFM_SELCHANGED && start->pending) {
        // Since Windows 7 the new-style picker selects the folder without scrolling its tree to
        // it; only the first change is ours, later ones are the user's.
        start->pending = false;
        HWND tree = FindTreeView(window);
        const LPARAM item = tree ? SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) : 0;
        if (item) SendMessageW(tree, TVM_ENSUREVISIBLE, 0, item);
    }
    return 0;
}
