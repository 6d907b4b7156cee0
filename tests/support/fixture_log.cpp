#include "fixture_log.h"

#include <cstdio>
#include <cstdlib>

#include "handles.h"
#include "process_ui.h"
#include "scratch.h"

namespace {

constexpr wchar_t kVariable[] = L"PLEXMOOR_FIXTURE_LOG";

// Fixtures hold the file open only while writing one line, and share it for writing.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

FixtureLog::FixtureLog()
{
    WriteBytes(path_, "");
    SetEnvironmentVariableW(kVariable, path_.c_str());
}

FixtureLog::~FixtureLog() { SetEnvironmentVariableW(kVariable, nullptr); }

std::vector<std::string> FixtureLog::Lines() const
{
    const std::string content = ReadBytes(path_);
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
        if (line.compare(0, prefix.size(), prefix) == 0) result.push_back(line);
    }
    return result;
}

std::size_t FixtureLog::Count(const std::string& prefix) const
{
    return Matching(prefix).size();
}

HWND FixtureLog::LoggedWindow(const std::string& prefix) const
{
    const std::vector<std::string> lines = Matching(prefix);
    const char* handle = lines.empty() ? "0" : lines[0].c_str() + prefix.size();
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(handle, nullptr, 16)));
}

long long FixtureLog::ErrorModeAtAttach(const std::string& name) const
{
    const std::vector<std::string> lines = Matching(name + " attach ");
    const std::size_t mode = lines.empty() ? std::string::npos : lines[0].find(" errormode ");
    if (mode == std::string::npos) return -1;
    return static_cast<long long>(std::strtoull(lines[0].c_str() + mode + 11, nullptr, 16));
}

bool FixtureLog::WaitFor(const std::string& prefix, std::size_t count, DWORD timeoutMs) const
{
    return WaitUntil([&] { return Count(prefix) >= count; }, timeoutMs);
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

std::wstring FixturesDir() { return ExecutableDir() + L"\\fixtures"; }
std::wstring FixturePath(const std::wstring& fileName) { return FixturesDir() + L"\\" + fileName; }
