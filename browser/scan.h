// The plug-in list: a folder turned into its *.sph entries, and the selection into a path.
#pragma once

#include <windows.h>

#include <string>

void ScanFolder(HWND dialog, const std::wstring& folder);
// Full path of the selected entry, or empty; fileName (optional) receives the entry's text.
std::wstring GetSelectedPluginPath(HWND dialog, std::wstring* fileName = nullptr);
// The selected plug-in loaded (LoadPluginLibrary), or null; the caller frees it. *faulted
// (optional) tells a load that faulted in the plug-in's own code from one that only failed.
HMODULE LoadSelectedPlugin(HWND dialog, bool* faulted = nullptr);
std::wstring GetFolderText(HWND dialog);
std::wstring GetListBoxItemText(HWND listBox, int index);
