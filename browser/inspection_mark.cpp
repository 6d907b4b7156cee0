#include "inspection_mark.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "handles.h"
#include "history.h"
#include "inspect.h"
#include "module.h"
#include "resource.h"
#include "selection.h"

namespace {

// "inspecting-<process id>-<process creation time>-<count>.mark": a process id and its creation
// time name one process for good, so no two browsers, alive or gone, share a name; the count, one
// more for each inspection, gives each a name of its own, since the last one's may still be there
// for a moment (a virus scanner holding it open, its deletion pending).
constexpr wchar_t kMarkPattern[] = L"inspecting-*.mark";
constexpr size_t kMarkNameChars = 64;
// A UTF-16 byte-order mark, then the plug-in's full path; a path holds at most 32767 characters.
constexpr BYTE kByteOrderMark[] = {0xFF, 0xFE};
constexpr DWORD kMaxMarkBytes = sizeof(kByteOrderMark) + 32767 * sizeof(wchar_t);

// The settings file's folder, with its trailing backslash; empty when the settings path is
// relative (no application-data folder), where no mark is kept.
std::wstring MarksFolder(HWND dialog)
{
    const std::wstring settingsFile = GetSettingsFilePath(dialog);
    if (PathIsRelativeW(settingsFile.c_str())) return std::wstring();
    const wchar_t* fileName = PathFindFileNameW(settingsFile.c_str());
    return std::wstring(settingsFile.c_str(), fileName);
}

// Removed once the last handle to it closes, with no moment in which another browser could open
// it by name as a mark that nobody holds.
bool DeleteWhenClosed(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// Windows compares file names without regard to case.
bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Gone: neither it nor, perhaps, its folder exists. A drive that is not ready or a network path
// out of reach says nothing about it.
bool PluginIsGone(const std::wstring& path)
{
    if (path.empty()) return true;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The mark of this process's inspection: made before the plug-in is loaded, held open without
// sharing for as long as the inspection runs, and removed as soon as it returns. The system closes
// the handle of a process that ends, which is how other browsers tell a lost start from one that
// still runs; no process id is ever looked up.
class OwnMark {
public:
    OwnMark(const std::wstring& folder, const std::wstring& plugin)
    {
        FILETIME created = {}, exited = {}, kernel = {}, user = {};
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        static unsigned long inspections = 0;
        wchar_t name[kMarkNameChars] = {};
        swprintf_s(name, kMarkNameChars, L"inspecting-%lu-%08lx%08lx-%lu.mark", GetCurrentProcessId(),
                   created.dwHighDateTime, created.dwLowDateTime, ++inspections);
        path_ = folder + name;
        HANDLE file = Create();
        // On a first start the settings folder may not exist yet; sph.ini is not touched for it.
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
            SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
            file = Create();
        }
        if (file == INVALID_HANDLE_VALUE) return;
        file_.reset(file);
        std::vector<BYTE> bytes(kByteOrderMark, kByteOrderMark + sizeof(kByteOrderMark));
        const BYTE* text = reinterpret_cast<const BYTE*>(plugin.c_str());
        bytes.insert(bytes.end(), text, text + plugin.size() * sizeof(wchar_t));
        DWORD written = 0;
        // A mark that does not name the plug-in whole would hold back nothing: none at all then.
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            Remove();
        }
    }
    ~OwnMark() { Remove(); }
    OwnMark(const OwnMark&) = delete;
    OwnMark& operator=(const OwnMark&) = delete;

private:
    HANDLE Create() const
    {
        return CreateFileW(path_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    void Remove()
    {
        if (!file_) return;
        const bool deleted = DeleteWhenClosed(file_.get());
        file_.reset();
        if (!deleted) DeleteFileW(path_.c_str());
    }

    std::wstring path_;
    handles::UniqueHandle file_;
};

// The plug-in a mark names; empty when the mark names none (cut short, or not one of ours).
std::wstring ReadMarkedPlugin(HANDLE file)
{
    std::vector<BYTE> bytes(kMaxMarkBytes, 0);
    DWORD total = 0;
    DWORD got = 0;
    while (total < kMaxMarkBytes && ReadFile(file, bytes.data() + total, kMaxMarkBytes - total, &got, nullptr) &&
           got > 0) {
        total += got;
    }
    if (total < sizeof(kByteOrderMark) || bytes[0] != kByteOrderMark[0] || bytes[1] != kByteOrderMark[1]) {
        return std::wstring();
    }
    std::wstring plugin((total - sizeof(kByteOrderMark)) / sizeof(wchar_t), L'\0');
    if (!plugin.empty()) std::memcpy(&plugin[0], bytes.data() + sizeof(kByteOrderMark), plugin.size() * sizeof(wchar_t));
    return plugin;
}

// Calls removeIf(plugin) for each mark of a browser that no longer runs, and removes the mark
// when it returns true. A running browser holds its mark open without sharing, so the open fails.
template <typename RemoveIf>
void ForEachLostStart(const std::wstring& folder, RemoveIf removeIf)
{
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + kMarkPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const handles::UniqueFind searchOwner(search);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        HANDLE opened = CreateFileW((folder + found.cFileName).c_str(), GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE) continue;
        const handles::UniqueHandle mark(opened);
        if (removeIf(ReadMarkedPlugin(opened))) DeleteWhenClosed(opened);
    } while (FindNextFileW(search, &found));
}

// The view of a plug-in held back: nothing of it, Settings and About disabled, and one line.
void ShowHeldBack(HWND dialog, const std::wstring& entry)
{
    EnableWindow(GetDlgItem(dialog, IDC_SETTINGS), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_ABOUT), FALSE);
    HWND infoList = GetDlgItem(dialog, IDC_INFO_LIST);
    SendMessageW(infoList, LVM_DELETEALLITEMS, 0, 0);
    SendDlgItemMessageW(dialog, IDC_TYPE_LIST, LVM_DELETEALLITEMS, 0, 0);
    AppendReportRow(infoList, entry, LoadResourceString(IDS_LOST_START));
}

}  // namespace

void InspectSelectionOfScan(HWND dialog)
{
    std::wstring entry;
    const std::wstring plugin = GetSelectedPluginPath(dialog, &entry);
    const std::wstring folder = plugin.empty() ? std::wstring() : MarksFolder(dialog);
    if (folder.empty()) {
        InspectSelectedPlugin(dialog);
        return;
    }
    bool lostBefore = false;
    // A lost start's mark stays while it holds its plug-in back, and goes with the plug-in, so
    // that the settings folder does not gather marks of plug-ins that were deleted.
    ForEachLostStart(folder, [&](const std::wstring& marked) {
        if (SamePath(marked, plugin)) {
            lostBefore = true;
            return false;
        }
        return PluginIsGone(marked);
    });
    if (lostBefore) {
        ShowHeldBack(dialog, entry);
        return;
    }
    const OwnMark mark(folder, plugin);
    InspectSelectedPlugin(dialog);
}

void ForgetLostStartsOfSelection(HWND dialog)
{
    const std::wstring plugin = GetSelectedPluginPath(dialog);
    const std::wstring folder = plugin.empty() ? std::wstring() : MarksFolder(dialog);
    if (folder.empty()) return;
    ForEachLostStart(folder, [&plugin](const std::wstring& marked) { return SamePath(marked, plugin); });
}

std::vector<std::wstring> HeldBackPlugins(HWND dialog)
{
    std::vector<std::wstring> heldBack;
    const std::wstring folder = MarksFolder(dialog);
    if (folder.empty()) return heldBack;
    ForEachLostStart(folder, [&heldBack](const std::wstring& marked) {
        if (!marked.empty()) heldBack.push_back(marked);
        return false;
    });
    return heldBack;
}

bool IsHeldBack(const std::vector<std::wstring>& heldBack, const std::wstring& plugin)
{
    for (const std::wstring& marked : heldBack) {
        if (SamePath(marked, plugin)) return true;
    }
    return false;
}
