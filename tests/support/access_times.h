// Wine's folder picker walks its tree to a preselected folder by comparing item ids that
// carry each folder's last-access time. On a relatime mount the walk's own reads can move
// that time between the id it parsed and the ids it lists, and the walk stops part-way.
// Reading every folder on the way once beforehand makes the times settle for the walk.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

inline void SettleFolderAccessTimes(std::wstring folder)
{
    while (!folder.empty()) {
        WIN32_FIND_DATAW found = {};
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            handles::UniqueFind owner(search);
            while (FindNextFileW(search, &found)) {
            }
        }
        const size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos) break;
        folder.resize(slash);
    }
}
