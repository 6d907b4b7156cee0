// Throw-away folders and files for tests, and state outside the test that a test must put back:
// the real settings file of the Wine prefix and registry values.
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
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Whole content, or an empty string when the file cannot be read.
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// Keeps a file's content (or its absence) and puts it back at the end.
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
