// String table, executable path and version resource of the running program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "handles.h"

// The module whose resources the program uses; stored by the entry function before anything else.
HINSTANCE GetInstanceHandle();
void SetInstanceHandle(HINSTANCE instance);

// Text of one string-table entry; empty when there is none, cut to 4095 characters.
std::wstring LoadResourceString(UINT id);

// Full path of the running executable, read once.
const std::wstring& GetModulePath();

// The executable's file name without folder and last extension, read once.
const wchar_t* GetProgramName();

// A library of Windows itself, by its full path in the system folder; null when that folder or
// the library is missing. Loaded by name, the program's own folder would be searched first.
handles::UniqueLibrary LoadSystemLibrary(const wchar_t* fileName);

struct VersionResourceRecord {
    std::vector<BYTE> data;
    const WORD* translation = nullptr;  // language, code page; null when unknown
};
const VersionResourceRecord& VersionResource();

// One StringFileInfo value of the first translation, else fallback, else ""; never null.
const wchar_t* GetVersionString(const wchar_t* key, const wchar_t* fallback);

// Sets the runtime's locale for all categories to the name held in string-table entry id.
void ApplyLocaleFromStringTable(UINT id);

// Adds SEM_FAILCRITICALERRORS to the process's error mode, keeping its other bits: a drive
// without media then fails the call that touched it instead of raising the system's box.
void FailCriticalErrorsQuietly();
