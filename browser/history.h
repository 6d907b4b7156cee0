// The recent-folder history in sph.ini and the choice of the start-up folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::wstring GetSettingsFilePath(HWND owner);
std::vector<std::wstring> ReadFolderHistory(const std::wstring& settingsFile);
std::wstring ReadFirstHistoryFolder(const std::wstring& settingsFile);
void AddFolderToHistory(const std::wstring& settingsFile, const std::wstring& folder);
std::wstring ReadSusiePluginFolder();
std::wstring GetInitialFolder(HWND owner);

// True until the first history write of the process has created the settings folder.
extern bool SettingsDirectoryPending;
