// The plug-in list read back and pointed at: the folder shown, an entry's text, the selected
// entry as a path or a loaded library, an entry selected by its name, and whether the list is
// complete. It only reads and selects; the scan and the inspection build on it.
#pragma once

#include <windows.h>

#include <string>

#include "plugin_library.h"

std::wstring GetFolderText(HWND dialog);
std::wstring GetListBoxItemText(HWND listBox, int index);
// Full path of the entry at index, or empty; fileName (optional) receives the entry's text.
std::wstring GetPluginPath(HWND dialog, int index, std::wstring* fileName = nullptr);
// Full path of the selected entry, or empty; fileName (optional) receives the entry's text.
std::wstring GetSelectedPluginPath(HWND dialog, std::wstring* fileName = nullptr);
// The selected plug-in loaded (LoadPluginLibrary), or empty. *faulted (optional) tells a load
// that faulted in the plug-in's own code from one that only failed.
PluginLibrary LoadSelectedPlugin(HWND dialog, bool* faulted = nullptr);
// Selects the entry of that name, sending no notification; false (the selection untouched)
// when the list holds none.
bool SelectPluginByName(HWND dialog, const std::wstring& name);

// ListReady is bit 0 of the dialog's DWLP_USER slot: clear while a scan refills the plug-in
// list, so that the selection changes it causes are not taken for the user's.
bool IsListReady(HWND dialog);
void SetListReady(HWND dialog, bool ready);
