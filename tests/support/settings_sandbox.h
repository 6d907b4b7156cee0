// The browser's persistent state as one test's own: the settings file sph.ini under the
// prefix's application-data folder and Susie's registry value, both kept and put back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scratch.h"

class SettingsSandbox {
public:
    // Keeps what is there, then starts the test with neither a settings file nor a registry value.
    SettingsSandbox();
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    // CSIDL_APPDATA + "\Quorvane\Plexmoor2\sph.ini", and the folder that holds it.
    static std::wstring SettingsFile();
    static std::wstring SettingsFolder();

    // Removes the settings folder too (when nothing else is in it), as on a first start.
    void ForgetSettingsFolder();
    // HKCU\Software\Brintell\Susie\Plug-in, value Path, as REG_SZ.
    void SetSusieFolder(const std::wstring& folder);
    std::wstring SusieFolder() const;
    // A UTF-16 settings file whose keys "1".. hold the folders.
    void WriteHistory(const std::vector<std::wstring>& folders);
    // The raw bytes of the settings file, whatever they are.
    void WriteSettingsBytes(const std::string& bytes);
    std::string SettingsBytes() const;
    // The value of every key "1" to "8" as the profile functions read it ("" when missing).
    std::vector<std::wstring> HistoryKeys() const;
    // The non-empty values in key order: the history as the browser reads it.
    std::vector<std::wstring> History() const;

private:
    bool existed_ = false;
    std::string content_;
    SavedRegistryValue susie_;
};
