#include "scratch.h"

#include <shlobj.h>

#include <atomic>

#include "handles.h"

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    do {
        path_ = std::wstring(base) + L"plexmoor-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
    } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempFolder::~TempFolder() { RemovePath(path_); }

void RemovePath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        handles::UniqueFind owner(search);
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") RemovePath(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
    }
    RemoveDirectoryW(path.c_str());
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) return false;
    handles::UniqueHandle file(created);
    DWORD written = 0;
    return WriteFile(created, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return std::string();
    handles::UniqueHandle file(opened);
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(opened, chunk, sizeof(chunk), &got, nullptr) && got > 0) content.append(chunk, got);
    return content;
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
// Flushed first: the profile cache must not write old content over the new. Null: no file.
void ReplaceFile(const std::wstring& path, const std::string* bytes)
{
    FlushProfileCache(path);
    RemovePath(path);
    if (!bytes) return;
    SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    WriteBytes(path, *bytes);
}
}  // namespace

SavedFile::SavedFile(std::wstring path)
    : path_(std::move(path)), existed_(FileExists(path_)), content_(ReadBytes(path_))
{
}

SavedFile::~SavedFile() { ReplaceFile(path_, existed_ ? &content_ : nullptr); }

SavedRegistryValue::SavedRegistryValue(HKEY root, std::wstring subKey, std::wstring valueName)
    : root_(root), subKey_(std::move(subKey)), valueName_(std::move(valueName))
{
    for (size_t end = 0; end != std::wstring::npos && firstMissingKey_.empty();) {
        end = subKey_.find(L'\\', end + 1);
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, subKey_.substr(0, end).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            firstMissingKey_ = subKey_.substr(0, end);
        } else {
            RegCloseKey(key);
        }
    }
    const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
    DWORD size = 0;
    if (RegGetValueW(root_, subKey_.c_str(), valueName_.c_str(), flags, &type_, nullptr, &size) != ERROR_SUCCESS) return;
    data_.resize(size);
    valueExisted_ =
        RegGetValueW(root_, subKey_.c_str(), valueName_.c_str(), flags, &type_, data_.data(), &size) == ERROR_SUCCESS;
    data_.resize(size);
}

SavedRegistryValue::~SavedRegistryValue()
{
    if (!firstMissingKey_.empty()) {
        RegDeleteTreeW(root_, firstMissingKey_.c_str());
    } else if (valueExisted_) {
        RegSetKeyValueW(root_, subKey_.c_str(), valueName_.c_str(), type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
        RegDeleteKeyValueW(root_, subKey_.c_str(), valueName_.c_str());
    }
}

std::wstring SettingsFilePath()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE);
    return std::wstring(appData) + L"\\Quorvane\\Plexmoor2\\sph.ini";
}

void FlushProfileCache(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

void WriteHistoryFile(const std::wstring& path, const std::vector<std::wstring>& folders)
{
    // The byte-order mark keeps the profile functions writing UTF-16.
    const std::string mark = "\xFF\xFE";
    ReplaceFile(path, &mark);
    for (size_t i = 0; i < folders.size(); ++i) {
        WritePrivateProfileStringW(L"History", std::to_wstring(i + 1).c_str(), folders[i].c_str(), path.c_str());
    }
    FlushProfileCache(path);
}

ClipboardContent ReadClipboardText()
{
    ClipboardContent content;
    if (!OpenClipboard(nullptr)) return content;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            content.text = text;
            content.ok = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return content;
}

bool WriteClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    bool ok = false;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (auto* target = static_cast<wchar_t*>(GlobalLock(block))) {
            text.copy(target, text.size());
            target[text.size()] = L'\0';
            GlobalUnlock(block);
            ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!ok) GlobalFree(block);
    }
    CloseClipboard();
    return ok;
}

namespace {

constexpr wchar_t kSusieKey[] = L"Software\\Brintell\\Susie\\Plug-in";
constexpr wchar_t kSusieValue[] = L"Path";
// Longer than any value the browser takes (32768), so a cut made by the browser shows.
constexpr DWORD kReadChars = 65536;

// What the browser keeps beside its history: a test leaves none of it to the next.
void RemoveAllButSettingsFile()
{
    for (const std::wstring& name : SettingsSandbox::SettingsFolderNames()) {
        if (_wcsicmp(name.c_str(), L"sph.ini") != 0) RemovePath(SettingsSandbox::SettingsFolder() + L"\\" + name);
    }
}

}  // namespace

SettingsSandbox::SettingsSandbox()
    : settings_(SettingsFile()), susie_(HKEY_CURRENT_USER, kSusieKey, kSusieValue)
{
    ReplaceFile(SettingsFile(), nullptr);
    RemoveAllButSettingsFile();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSusieKey, kSusieValue);
}

SettingsSandbox::~SettingsSandbox() { RemoveAllButSettingsFile(); }

std::wstring SettingsSandbox::SettingsFolder()
{
    const std::wstring file = SettingsFile();
    return file.substr(0, file.find_last_of(L'\\'));
}

std::vector<std::wstring> SettingsSandbox::SettingsFolderNames()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((SettingsFolder() + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    handles::UniqueFind owner(search);
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    return names;
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

void SettingsSandbox::WriteSettingsBytes(const std::string& bytes) { ReplaceFile(SettingsFile(), &bytes); }

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
