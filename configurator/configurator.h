// Plexmoor1: opens the settings dialog of the one Susie plug-in named on the command line.
#pragma once

#include <windows.h>

// Everything after the instance handle is stored: locale, usage or checks, the plug-in's
// settings dialog and its result. Returns the process exit code.
int RunConfigurator(int argc, const wchar_t* const* argv);

// The usage and version message for a start without argument; returns the exit code -1.
int ShowUsageMessage();

// One message about the plug-in: the string-table text, CR LF, the path. Always returns 1.
int ShowPluginMessage(int stringId, const wchar_t* pluginPath, UINT style);

// Dialog procedure of the invisible host that parents the plug-in's settings dialog.
INT_PTR CALLBACK HostDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Reports the exception being handled; call only from inside a catch block. Returns exit code 2.
int ReportEscapedException();
