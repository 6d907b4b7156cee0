// The browser's persistent state as one test's own: its settings file (SettingsFilePath) and
// Susie's registry value, kept at the start, cleared, and put back at the end. Tests that use
// it hold ctest's "settings" resource lock.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scratch.h"

class SettingsSandbox {
public:
    // Starts the test with neither a settings file nor a registry value.
    SettingsSandbox();

    static std::wstring SettingsFile() { return SettingsFilePath(); }
    static std::wstring SettingsFolder();

    // Removes the settings folder too (when nothing else is in it), as on a first start.
    void ForgetSettingsFolder();
    // HKCU\Software\Brintell\Susie\Plug-in, value Path; terminated says whether the stored
    // data ends with its zero.
    void SetSusieFolder(const std::wstring& folder, DWORD type = REG_SZ, bool terminated = true);
    std::wstring SusieFolder() const;
    void WriteHistory(const std::vector<std::wstring>& folders) { WriteHistoryFile(SettingsFile(), folders); }
    // The raw bytes of the settings file, whatever they are.
    void WriteSettingsBytes(const std::string& bytes);
    std::string SettingsBytes() const { return ReadBytes(SettingsFile()); }
    // The value of every key "1" to "8" as the profile functions read it ("" when missing).
    std::vector<std::wstring> HistoryKeys() const;
    // The non-empty values in key order: the history as the browser reads it.
    std::vector<std::wstring> History() const;

private:
    SavedFile settings_;
    SavedRegistryValue susie_;
};
