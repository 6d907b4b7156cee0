#include "module.h"

#include <shlwapi.h>

#include <clocale>
#include <cwchar>

#include "plugin.h"

namespace {
HINSTANCE g_instance = nullptr;

constexpr int kStringBufferChars = 4096;
constexpr DWORD kPathBufferChars = 0x8000;
constexpr size_t kVersionQueryChars = 1024;

// version.dll is not one of the libraries Windows always takes from its own folder: imported,
// a copy lying beside the program would run inside it. So it is loaded by full path for each
// use, and every caller falls back as for a missing version resource when it cannot be.
typedef DWORD(WINAPI* GetFileVersionInfoSizeWFn)(LPCWSTR, LPDWORD);
typedef BOOL(WINAPI* GetFileVersionInfoWFn)(LPCWSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueWFn)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct VersionLibrary {
    handles::UniqueLibrary library = LoadSystemLibrary(L"version.dll");
    GetFileVersionInfoSizeWFn getSize = nullptr;
    GetFileVersionInfoWFn getInfo = nullptr;
    VerQueryValueWFn queryValue = nullptr;

    VersionLibrary()
    {
        // GetProcAddress on a null module would search the program itself.
        if (!library) return;
        getSize = GetPluginExport<GetFileVersionInfoSizeWFn>(library.get(), "GetFileVersionInfoSizeW");
        getInfo = GetPluginExport<GetFileVersionInfoWFn>(library.get(), "GetFileVersionInfoW");
        queryValue = GetPluginExport<VerQueryValueWFn>(library.get(), "VerQueryValueW");
    }
};
}  // namespace

handles::UniqueLibrary LoadSystemLibrary(const wchar_t* fileName)
{
    std::vector<wchar_t> path(kPathBufferChars, L'\0');
    const UINT length = GetSystemDirectoryW(path.data(), kPathBufferChars);
    // Without the system folder there is no safe place to load it from.
    if (length == 0 || length >= kPathBufferChars) return nullptr;
    if (!PathCombineW(path.data(), path.data(), fileName)) return nullptr;
    return handles::UniqueLibrary(LoadLibraryW(path.data()));
}

HINSTANCE GetInstanceHandle() { return g_instance; }

void SetInstanceHandle(HINSTANCE instance) { g_instance = instance; }

std::wstring LoadResourceString(UINT id)
{
    wchar_t buffer[kStringBufferChars] = {};
    const int copied = LoadStringW(g_instance, id, buffer, kStringBufferChars);
    // The count, not a terminator, decides: entries may hold embedded control characters.
    return copied > 0 ? std::wstring(buffer, static_cast<size_t>(copied)) : std::wstring();
}

const std::wstring& GetModulePath()
{
    static const std::wstring path = [] {
        std::vector<wchar_t> buffer(kPathBufferChars, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), kPathBufferChars);
        // On failure (or truncation without a terminator) the path is empty: every version
        // lookup then falls back instead of reading an undefined name.
        if (length == 0 || length >= kPathBufferChars) return std::wstring();
        return std::wstring(buffer.data(), length);
    }();
    return path;
}

const wchar_t* GetProgramName()
{
    static const std::wstring name = [] {
        const wchar_t* fileName = PathFindFileNameW(GetModulePath().c_str());
        const wchar_t* extension = PathFindExtensionW(fileName);
        return std::wstring(fileName, extension);
    }();
    return name.c_str();
}

const VersionResourceRecord& VersionResource()
{
    static const VersionResourceRecord record = [] {
        VersionResourceRecord r;
        try {
            const VersionLibrary version;
            if (!version.getSize || !version.getInfo || !version.queryValue) return r;
            const std::wstring& path = GetModulePath();
            const DWORD size = version.getSize(path.c_str(), nullptr);
            r.data.assign(size, 0);
            if (size == 0 || !version.getInfo(path.c_str(), 0, size, r.data.data())) {
                r.data.clear();
                return r;
            }
            void* value = nullptr;
            UINT length = 0;
            if (version.queryValue(r.data.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
                r.translation = static_cast<const WORD*>(value);
            }
        } catch (...) {
            r.data.clear();
            r.translation = nullptr;
        }
        return r;
    }();
    return record;
}

const wchar_t* GetVersionString(const wchar_t* key, const wchar_t* fallback)
{
    const VersionResourceRecord& record = VersionResource();
    if (record.translation && key) {
        const VersionLibrary version;
        wchar_t query[kVersionQueryChars] = {};
        // Upper-case hex, while resources name the block in lower case: the platform
        // matches block names without regard to case.
        swprintf_s(query, kVersionQueryChars, L"\\StringFileInfo\\%04X%04X\\%s",
                   static_cast<unsigned>(record.translation[0]),
                   static_cast<unsigned>(record.translation[1]), key);
        void* value = nullptr;
        UINT length = 0;
        // The value lies inside the cached block, so it outlives the library.
        if (version.queryValue && version.queryValue(record.data.data(), query, &value, &length) && value) {
            return static_cast<const wchar_t*>(value);
        }
    }
    return fallback ? fallback : L"";
}

void ApplyLocaleFromStringTable(UINT id)
{
    // A locale the runtime does not know leaves the previous one in place; the program runs on.
    _wsetlocale(LC_ALL, LoadResourceString(id).c_str());
}

void FailCriticalErrorsQuietly()
{
    // GetErrorMode is Windows Vista's; the previous mode comes back from the first call.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(previous | SEM_FAILCRITICALERRORS);
}
