// The plug-in list: a folder turned into its *.sph entries.
#pragma once

#include <windows.h>

#include <string>

void ScanFolder(HWND dialog, const std::wstring& folder);
