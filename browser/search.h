// The search for the plug-in that reads a dropped file.
#pragma once

#include <windows.h>

#include <string>

// Asks the plug-ins of the list, in list order, for their file types, and selects and inspects
// the first whose extension patterns match fileName (a name without folder). A plug-in that a
// lost start holds back is passed by unasked. False, nothing changed, when none does.
bool SelectPluginForFile(HWND dialog, const std::wstring& fileName);
