#include "history.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstddef>
#include <cwchar>

#include "handles.h"
#include "module.h"

bool SettingsDirectoryPending = true;

namespace {

constexpr wchar_t kSettingsRelativePath[] = L"Quorvane\\Plexmoor2\\sph.ini";
constexpr wchar_t kHistorySection[] = L"History";
constexpr int kHistoryEntries = 8;
constexpr DWORD kPathBufferChars = 32768;
// One more than the longest value taken, so a full-length value still gets its terminator.
constexpr DWORD kValueBufferChars = 32769;
constexpr size_t kKeyBufferChars = 32;

constexpr wchar_t kSusieKey[] = L"Software\\Brintell\\Susie\\Plug-in";
constexpr wchar_t kSusieValue[] = L"Path";

struct HistoryKey {
    wchar_t text[kKeyBufferChars] = {};
    explicit HistoryKey(int number) { swprintf_s(text, kKeyBufferChars, L"%d", number); }
};

// Calls accept(entry) for each non-empty history value in key order until it returns false.
template <typename Accept>
void ForEachHistoryEntry(const std::wstring& settingsFile, Accept accept)
{
    std::vector<wchar_t> value(kValueBufferChars, L'\0');
    for (int n = 1; n <= kHistoryEntries; ++n) {
        const DWORD count = GetPrivateProfileStringW(kHistorySection, HistoryKey(n).text, L"", value.data(),
                                                     kValueBufferChars, settingsFile.c_str());
        if (count == 0 || count > kValueBufferChars - 1) continue;
        if (!accept(std::wstring(value.data(), count))) return;
    }
}

// A file the profile functions create themselves is written in the ANSI code page, which turns
// every folder name outside it into question marks. One that starts with the UTF-16 byte-order
// mark is kept in UTF-16 by them, so a missing file is created that way first. CREATE_NEW
// leaves an existing file, whatever its encoding, untouched.
void CreateUnicodeSettingsFile(const std::wstring& settingsFile)
{
    // The profile functions resolve a relative name in their own place, not the current folder.
    if (PathIsRelativeW(settingsFile.c_str())) return;
    HANDLE created = CreateFileW(settingsFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (created == INVALID_HANDLE_VALUE) return;
    handles::UniqueHandle file(created);
    static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &written, nullptr);
}

}  // namespace

std::wstring GetSettingsFilePath(HWND owner)
{
    std::vector<wchar_t> buffer(kPathBufferChars, L'\0');
    // A failure leaves the buffer empty and the path relative; the profile functions cope.
    SHGetSpecialFolderPathW(owner, buffer.data(), CSIDL_APPDATA, TRUE);
    PathCombineW(buffer.data(), buffer.data(), kSettingsRelativePath);
    return std::wstring(buffer.data());
}

std::vector<std::wstring> ReadFolderHistory(const std::wstring& settingsFile)
{
    std::vector<std::wstring> history;
    ForEachHistoryEntry(settingsFile, [&history](std::wstring entry) {
        history.push_back(std::move(entry));
        return true;
    });
    return history;
}

std::wstring ReadFirstHistoryFolder(const std::wstring& settingsFile)
{
    std::wstring first;
    ForEachHistoryEntry(settingsFile, [&first](std::wstring entry) {
        first = std::move(entry);
        return false;
    });
    return first;
}

void AddFolderToHistory(const std::wstring& settingsFile, const std::wstring& folder)
{
    std::vector<std::wstring> history = ReadFolderHistory(settingsFile);
    // Plain code-unit comparison: two spellings of one folder stay two entries.
    for (size_t i = 0; i < history.size(); ++i) {
        if (history[i] != folder) continue;
        if (i == 0) return;
        history.erase(history.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    history.insert(history.begin(), folder);
    if (history.size() > static_cast<size_t>(kHistoryEntries)) history.pop_back();

    if (SettingsDirectoryPending) {
        SettingsDirectoryPending = false;
        const wchar_t* fileName = PathFindFileNameW(settingsFile.c_str());
        const std::wstring directory(settingsFile.c_str(), fileName);
        SHCreateDirectoryExW(nullptr, directory.c_str(), nullptr);
    }

    CreateUnicodeSettingsFile(settingsFile);
    for (size_t i = 0; i < history.size(); ++i) {
        WritePrivateProfileStringW(kHistorySection, HistoryKey(static_cast<int>(i) + 1).text, history[i].c_str(),
                                   settingsFile.c_str());
    }
}

std::wstring ReadSusiePluginFolder()
{
    HKEY opened = nullptr;
    if (RegOpenKeyW(HKEY_CURRENT_USER, kSusieKey, &opened) != ERROR_SUCCESS) return std::wstring();
    handles::UniqueRegKey key(opened);

    DWORD type = 0;
    DWORD byteSize = 0;
    if (RegQueryValueExW(key.get(), kSusieValue, nullptr, &type, nullptr, &byteSize) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    // One character more than the data needs: the text ends in a zero even when the data does not.
    std::vector<wchar_t> text(byteSize / sizeof(wchar_t) + 1, L'\0');
    DWORD readSize = byteSize;
    if (RegQueryValueExW(key.get(), kSusieValue, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &readSize) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    return std::wstring(text.data());
}

std::wstring GetInitialFolder(HWND owner)
{
    std::wstring folder = ReadFirstHistoryFolder(GetSettingsFilePath(owner));
    if (!folder.empty()) return folder;
    folder = ReadSusiePluginFolder();
    if (!folder.empty()) return folder;

    const std::wstring& program = GetModulePath();
    const size_t slash = program.rfind(L'\\');
    if (slash == std::wstring::npos) return std::wstring();
    // At a drive root ("C:\Plexmoor2.exe") the backslash belongs to the folder.
    const bool driveRoot = slash > 0 && program[slash - 1] == L':';
    return program.substr(0, driveRoot ? slash + 1 : slash);
}
