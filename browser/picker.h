// Choosing a folder: the shell's folder picker and the menu of recent folders.
#pragma once

#include <windows.h>

#include <string>

void ShowFolderHistoryMenu(HWND dialog);
void BrowseForPluginFolder(HWND dialog);
std::wstring PickFolder(HWND owner, const std::wstring& title, const std::wstring& initialFolder);

// The picker callback's data: the folder it opens on, and whether its tree is still to be
// scrolled to that folder.
struct PickerStart {
    const wchar_t* folder;
    bool pending;
};
int CALLBACK PickFolderCallback(HWND window, UINT message, LPARAM messageParam, LPARAM data);
