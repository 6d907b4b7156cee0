// The plug-in list: a folder turned into its *.sph entries, and the selection into a path.
#pragma once

#include <windows.h>

#include <string>

void ScanFolder(HWND dialog, const std::wstring& folder);
// Full path of the selected entry, or empty; fileName (optional) receives the entry's text.
std::wstring GetSelectedPluginPath(HWND dialog, std::wstring* fileName = nullptr);
// The selected plug-in loaded with LoadLibraryW, or null; the caller frees it.
HMODULE LoadSelectedPlugin(HWND dialog);
std::wstring GetFolderText(HWND dialog);
std::wstring GetListBoxItemText(HWND listBox, int index);
