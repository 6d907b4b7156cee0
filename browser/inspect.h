// What the browser shows about the selected plug-in, and its own dialogs.
#pragma once

#include <windows.h>

#include <string>

#include "plugin.h"

void InsertReportColumns(HWND dialog, int controlId, const std::wstring& heading0, const std::wstring& heading1);
bool AppendReportRow(HWND list, const std::wstring& column0, const std::wstring& column1);
// One answer of GetPluginInfo, converted from the ANSI code page. *faulted (optional) tells
// when the plug-in faulted instead of answering; the text is then empty.
std::wstring PluginInfoText(GetPluginInfoFn getPluginInfo, int infoNumber, bool* faulted = nullptr);
// An answer's bytes as the system with that ANSI code page reads them.
std::wstring PluginTextToWide(const char* text, int bytes, UINT codePage);
void InspectSelectedPlugin(HWND dialog);
void OpenPluginDialog(HWND dialog, int function);
// Asks the plug-ins of the list, in list order, for their file types, and selects and inspects
// the first whose extension patterns match fileName (a name without folder). False, nothing
// changed, when none does.
bool SelectPluginForFile(HWND dialog, const std::wstring& fileName);
