#include "settings_sandbox.h"

#include <shlobj.h>

#include "handles.h"
#include "ui_driver.h"

namespace {

constexpr wchar_t kSusieKey[] = L"Software\\Brintell\\Susie\\Plug-in";
constexpr wchar_t kSusieValue[] = L"Path";
// Longer than any value the browser takes (32768), so a cut made by the browser shows.
constexpr DWORD kReadChars = 65536;

// The profile functions keep a file in a cache; flush it so that reads see the disk.
void FlushProfileCache(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

// Whatever a test left at the settings path (a folder, a read-only file) goes.
void ClearSettingsPath(const std::wstring& path)
{
    FlushProfileCache(path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
    } else {
        DeleteFileW(path.c_str());
    }
}

}  // namespace

SettingsSandbox::SettingsSandbox() : susie_(HKEY_CURRENT_USER, kSusieKey, kSusieValue)
{
    const std::wstring path = SettingsFile();
    existed_ = FileExists(path);
    if (existed_) content_ = ReadBytes(path);
    ClearSettingsPath(path);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSusieKey, 0, KEY_SET_VALUE, &opened) == ERROR_SUCCESS) {
        handles::UniqueRegKey key(opened);
        RegDeleteValueW(opened, kSusieValue);
    }
}

SettingsSandbox::~SettingsSandbox()
{
    const std::wstring path = SettingsFile();
    ClearSettingsPath(path);
    if (existed_) {
        SHCreateDirectoryExW(nullptr, SettingsFolder().c_str(), nullptr);
        WriteBytes(path, content_);
    }
}

std::wstring SettingsSandbox::SettingsFile() { return SettingsFolder() + L"\\sph.ini"; }

std::wstring SettingsSandbox::SettingsFolder()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE);
    return std::wstring(appData) + L"\\Quorvane\\Plexmoor2";
}

void SettingsSandbox::ForgetSettingsFolder()
{
    ClearSettingsPath(SettingsFile());
    const std::wstring folder = SettingsFolder();
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(folder.substr(0, folder.find_last_of(L'\\')).c_str());
}

void SettingsSandbox::SetSusieFolder(const std::wstring& folder)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSusieKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    handles::UniqueRegKey key(created);
    RegSetValueExW(created, kSusieValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

std::wstring SettingsSandbox::SusieFolder() const
{
    std::vector<wchar_t> text(kReadChars, L'\0');
    DWORD bytes = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, kSusieKey, kSusieValue, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::wstring();
    }
    return text.data();
}

void SettingsSandbox::WriteHistory(const std::vector<std::wstring>& folders)
{
    ClearSettingsPath(SettingsFile());
    WriteHistoryFile(SettingsFile(), folders);
    FlushProfileCache(SettingsFile());
}

void SettingsSandbox::WriteSettingsBytes(const std::string& bytes)
{
    ClearSettingsPath(SettingsFile());
    SHCreateDirectoryExW(nullptr, SettingsFolder().c_str(), nullptr);
    WriteBytes(SettingsFile(), bytes);
}

std::string SettingsSandbox::SettingsBytes() const { return ReadBytes(SettingsFile()); }

std::vector<std::wstring> SettingsSandbox::HistoryKeys() const
{
    const std::wstring path = SettingsFile();
    FlushProfileCache(path);
    std::vector<std::wstring> keys;
    std::vector<wchar_t> value(kReadChars, L'\0');
    for (int n = 1; n <= 8; ++n) {
        const DWORD count = GetPrivateProfileStringW(L"History", std::to_wstring(n).c_str(), L"", value.data(),
                                                     kReadChars, path.c_str());
        keys.emplace_back(value.data(), count);
    }
    return keys;
}

std::vector<std::wstring> SettingsSandbox::History() const
{
    std::vector<std::wstring> history;
    for (const std::wstring& value : HistoryKeys()) {
        if (!value.empty()) history.push_back(value);
    }
    return history;
}
