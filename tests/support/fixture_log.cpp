#include "fixture_log.h"

#include <cstdio>
#include <stdexcept>

#include "handles.h"

namespace {

constexpr wchar_t kVariable[] = L"PLEXMOOR_FIXTURE_LOG";

// Fixtures hold the file open only while writing one line, and share it for writing.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string ReadAll(const std::wstring& path)
{
    std::string content;
    HANDLE opened =
        CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return content;
    handles::UniqueHandle file(opened);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) content.append(chunk, got);
    return content;
}

bool StartsWith(const std::string& line, const std::string& prefix)
{
    return line.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

FixtureLog::FixtureLog()
{
    wchar_t folder[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    wchar_t file[MAX_PATH];
    if (n == 0 || n > MAX_PATH || GetTempFileNameW(folder, L"pxl", 0, file) == 0)
        throw std::runtime_error("FixtureLog: no temporary file");
    path_ = file;

    DWORD needed = GetEnvironmentVariableW(kVariable, nullptr, 0);
    if (needed > 0) {
        std::wstring value(needed, L'\0');
        DWORD got = GetEnvironmentVariableW(kVariable, &value[0], needed);
        value.resize(got);
        previous_ = value;
        hadPrevious_ = true;
    }
    SetEnvironmentVariableW(kVariable, path_.c_str());
}

FixtureLog::~FixtureLog()
{
    SetEnvironmentVariableW(kVariable, hadPrevious_ ? previous_.c_str() : nullptr);
    DeleteFileW(path_.c_str());
}

std::vector<std::string> FixtureLog::Lines() const
{
    const std::string content = ReadAll(path_);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = content.find('\n', start);
        // A line without its LF is still being written.
        if (end == std::string::npos) break;
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> FixtureLog::Matching(const std::string& prefix) const
{
    std::vector<std::string> result;
    for (const std::string& line : Lines()) {
        if (StartsWith(line, prefix)) result.push_back(line);
    }
    return result;
}

std::size_t FixtureLog::Count(const std::string& prefix) const
{
    return Matching(prefix).size();
}

bool FixtureLog::WaitFor(const std::string& prefix, std::size_t count, DWORD timeoutMs) const
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (Count(prefix) >= count) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
}

void FixtureLog::Clear()
{
    // Truncating in place rather than replacing the file: a fixture may be opening it right now.
    HANDLE opened = CreateFileW(path_.c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened != INVALID_HANDLE_VALUE) handles::UniqueHandle file(opened);
}

std::string HandleText(HWND window)
{
    char text[24];
    std::snprintf(text, sizeof(text), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return text;
}

std::wstring BinDir()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring FixturesDir()
{
    return BinDir() + L"\\fixtures";
}

std::wstring FixturePath(const std::wstring& fileName)
{
    return FixturesDir() + L"\\" + fileName;
}
