// The plug-in list: a folder turned into its *.sph entries.
#pragma once

#include <windows.h>

#include <string>

// Lists the folder's plug-ins, selects the entry named entryToSelect when the list holds it and
// the first entry otherwise, inspects the selection and records the folder in the history.
void ScanFolder(HWND dialog, const std::wstring& folder, const std::wstring& entryToSelect = std::wstring());
// Whether a scan could list the folder: it exists, may be read, and its search pattern fits
// within MAX_PATH. A scan itself lists such a failure as an empty folder.
bool CanScanFolder(const std::wstring& folder);
// The folder shown scanned again, the selected plug-in kept selected while its file is there.
void RescanFolder(HWND dialog);
