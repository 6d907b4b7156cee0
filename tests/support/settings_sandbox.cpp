#include "settings_sandbox.h"

#include <shlobj.h>

#include "handles.h"

namespace {

constexpr wchar_t kSusieKey[] = L"Software\\Brintell\\Susie\\Plug-in";
constexpr wchar_t kSusieValue[] = L"Path";
// Longer than any value the browser takes (32768), so a cut made by the browser shows.
constexpr DWORD kReadChars = 65536;

}  // namespace

SettingsSandbox::SettingsSandbox()
    : settings_(SettingsFile()), susie_(HKEY_CURRENT_USER, kSusieKey, kSusieValue)
{
    FlushProfileCache(SettingsFile());
    RemovePath(SettingsFile());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSusieKey, kSusieValue);
}

std::wstring SettingsSandbox::SettingsFolder()
{
    const std::wstring file = SettingsFile();
    return file.substr(0, file.find_last_of(L'\\'));
}

void SettingsSandbox::ForgetSettingsFolder()
{
    FlushProfileCache(SettingsFile());
    RemovePath(SettingsFile());
    const std::wstring folder = SettingsFolder();
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(folder.substr(0, folder.find_last_of(L'\\')).c_str());
}

void SettingsSandbox::SetSusieFolder(const std::wstring& folder, DWORD type, bool terminated)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSusieKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    handles::UniqueRegKey key(created);
    RegSetValueExW(created, kSusieValue, 0, type, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + (terminated ? 1 : 0)) * sizeof(wchar_t)));
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

void SettingsSandbox::WriteSettingsBytes(const std::string& bytes)
{
    FlushProfileCache(SettingsFile());
    RemovePath(SettingsFile());
    SHCreateDirectoryExW(nullptr, SettingsFolder().c_str(), nullptr);
    WriteBytes(SettingsFile(), bytes);
}

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
