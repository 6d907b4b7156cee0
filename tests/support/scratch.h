// Throw-away folders and files, and state outside a test that the test must put back:
// - TempFolder, RemoveFolderTree, RemovePath, WriteBytes, ReadBytes, FileExists, FolderExists;
// - SavedFile and SavedRegistryValue: kept at the start, put back at the end;
// - the browser's settings file: SettingsFilePath, WriteHistoryFile, FlushProfileCache;
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

// Deletes a folder and all it holds, hidden and read-only files too.
void RemoveFolderTree(const std::wstring& folder);
// Whatever is at the path goes: a file (read-only too) or a folder tree.
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
