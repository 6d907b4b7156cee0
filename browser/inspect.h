// What the browser shows about the selected plug-in, and its own dialogs.
#pragma once

#include <windows.h>

#include <string>

void InsertReportColumns(HWND dialog, int controlId, const std::wstring& heading0, const std::wstring& heading1);
bool AppendReportRow(HWND list, const std::wstring& column0, const std::wstring& column1);
void InspectSelectedPlugin(HWND dialog);
void OpenPluginDialog(HWND dialog, int function);
