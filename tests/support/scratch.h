// Throw-away folders and files, and state outside a test that the test must put back:
// - TempFolder, RemovePath, WriteBytes, ReadBytes, FileExists, FolderExists;
// - SavedFile and SavedRegistryValue: kept at the start, put back at the end;
// - the browser's settings file: SettingsFilePath, WriteHistoryFile, FlushProfileCache, and
//   SettingsSandbox, which makes that file, whatever else lies in its folder, and Susie's
//   registry value one test's own (such a test holds ctest's "settings" resource lock);
// - the clipboard: ReadClipboardText, WriteClipboardText.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A new empty folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Without a trailing backslash.
    const std::wstring& Path() const { return path_; }
    // Path() + "\" + relative.
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

// Whatever is at the path goes: a file or a folder tree, hidden and read-only ones too.
void RemovePath(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole content, or an empty string when the file cannot be read; others may write meanwhile.
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// Keeps a file's content (or its absence) and puts it back at the end, its folder made again.
class SavedFile {
public:
    explicit SavedFile(std::wstring path);
    ~SavedFile();
    SavedFile(const SavedFile&) = delete;
    SavedFile& operator=(const SavedFile&) = delete;

private:
    std::wstring path_;
    bool existed_ = false;
    std::string content_;
};

// Keeps one registry value (or its absence, and which keys of its path were missing) and puts
// it back at the end.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring subKey, std::wstring valueName);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring valueName_;
    std::wstring firstMissingKey_;
    bool valueExisted_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// CSIDL_APPDATA + "\Quorvane\Plexmoor2\sph.ini", where the browser keeps its history.
std::wstring SettingsFilePath();
// The profile functions may answer from a cache; this makes the next read come from the disk.
void FlushProfileCache(const std::wstring& path);
// Replaces the file by one in UTF-16 (which keeps every character) whose [History] keys
// "1".. hold the folders.
void WriteHistoryFile(const std::wstring& path, const std::vector<std::wstring>& folders);

// The clipboard's CF_UNICODETEXT; ok is false when there is none or it cannot be opened.
struct ClipboardContent {
    std::wstring text;
    bool ok = false;
};
ClipboardContent ReadClipboardText();
bool WriteClipboardText(const std::wstring& text);

class SettingsSandbox {
public:
    // Keeps both, then starts the test with neither a settings file nor a registry value, and
    // with nothing else in the settings folder (nor at the end).
    SettingsSandbox();
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    static std::wstring SettingsFile() { return SettingsFilePath(); }
    static std::wstring SettingsFolder();
    // The names of what lies in the settings folder, sph.ini included.
    static std::vector<std::wstring> SettingsFolderNames();
    // HKCU\Software\Brintell\Susie\Plug-in, value Path; terminated: the data ends with its zero.
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
