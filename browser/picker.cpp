#include "picker.h"

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
    info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
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
    if (message == BFFM_INITIALIZED && data) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}
