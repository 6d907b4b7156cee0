#include "module.h"

#include <shlwapi.h>

#include <clocale>
#include <cwchar>

namespace {
HINSTANCE g_instance = nullptr;

constexpr int kStringBufferChars = 4096;
constexpr DWORD kPathBufferChars = 0x8000;
constexpr size_t kVersionQueryChars = 1024;
}  // namespace

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
            const std::wstring& path = GetModulePath();
            const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
            r.data.assign(size, 0);
            if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, r.data.data())) {
                r.data.clear();
                return r;
            }
            void* value = nullptr;
            UINT length = 0;
            if (VerQueryValueW(r.data.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
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
        wchar_t query[kVersionQueryChars] = {};
        // Upper-case hex, while resources name the block in lower case: the platform
        // matches block names without regard to case.
        swprintf_s(query, kVersionQueryChars, L"\\StringFileInfo\\%04X%04X\\%s",
                   static_cast<unsigned>(record.translation[0]),
                   static_cast<unsigned>(record.translation[1]), key);
        void* value = nullptr;
        UINT length = 0;
        // VerQueryValueW wants a non-const block; it only reads it.
        if (VerQueryValueW(const_cast<BYTE*>(record.data.data()), query, &value, &length) && value) {
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
