// Runs one test program of the Windows test bundle for run-tests.cmd, which cannot do this
// itself in plain cmd: wait for a program with a time limit, end what a test started, and count
// the cases of a GoogleTest XML report.
// Usage (in the programs' folder): run_test_program <seconds> <name> [arguments...]
// Runs <name>.exe --gtest_list_tests [arguments], then <name>.exe [arguments]
// --gtest_output=xml:<name>.xml with its output in <name>.log, each under the time limit, and
// writes "<passed> <failed> <skipped>" to <name>.counts. A listed case that the report does not
// count passed or skipped failed: the program crashed, hung or ended early. Prints one line for
// the program, each skipped case with its reason, and a failed program's output.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "handles.h"
#include "scratch.h"

namespace {

constexpr DWORD kTimedOut = WAIT_TIMEOUT;

struct Outcome {
    DWORD status = kTimedOut;
    DWORD milliseconds = 0;
};

// The command line after its first three words, exactly as the caller quoted it.
std::wstring ArgumentsAfterName()
{
    const wchar_t* p = GetCommandLineW();
    for (int word = 0; word < 3; ++word) {
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
            if (*p == L'"') quoted = !quoted;
        }
        while (*p == L' ' || *p == L'\t') ++p;
    }
    return p;
}

HANDLE CreateInheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The program and everything it starts run in one job, ended when the limit passes and again
// when the program ends: nothing a crashed or hung test left behind runs on (and writes the
// user's settings) after the runner has put them back.
Outcome Run(std::wstring commandLine, HANDLE output, DWORD seconds)
{
    Outcome outcome;
    HANDLE created = CreateJobObjectW(nullptr, nullptr);
    handles::UniqueHandle job(created);
    if (created) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &started)) {
        std::printf("  could not start %ls (CreateProcessW error %lu)\n", commandLine.c_str(), GetLastError());
        outcome.status = ERROR_FILE_NOT_FOUND;
        return outcome;
    }
    handles::UniqueHandle process(started.hProcess);
    handles::UniqueHandle thread(started.hThread);
    // Without the job (a Windows before 8 inside a job of its own), only the program can be ended.
    const bool inJob = created && AssignProcessToJobObject(created, started.hProcess);
    const ULONGLONG begun = GetTickCount64();
    ResumeThread(started.hThread);
    if (WaitForSingleObject(started.hProcess, seconds * 1000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(started.hProcess, &outcome.status);
    } else if (!inJob) {
        TerminateProcess(started.hProcess, kTimedOut);
    }
    outcome.milliseconds = static_cast<DWORD>(GetTickCount64() - begun);
    if (inJob) TerminateJobObject(created, kTimedOut);
    WaitForSingleObject(started.hProcess, INFINITE);
    return outcome;
}

// The value of attribute name="..." in the element that starts at from, or "".
std::string Attribute(const std::string& xml, size_t from, const std::string& name)
{
    const size_t end = xml.find('>', from);
    const size_t at = xml.find(" " + name + "=\"", from);
    if (at == std::string::npos || at > end) return std::string();
    const size_t begin = at + name.size() + 3;
    return xml.substr(begin, xml.find('"', begin) - begin);
}

unsigned long Number(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 10); }

// GoogleTest escapes the message of a skip; its first line names the file and line.
std::string SkipReason(std::string message)
{
    const size_t firstBreak = message.find("&#x0A;");
    if (firstBreak != std::string::npos) message.erase(0, firstBreak + 6);
    const char* entities[][2] = {{"&#x0A;", " "}, {"&#x0D;", ""}, {"&quot;", "\""}, {"&apos;", "'"},
                                 {"&lt;", "<"},   {"&gt;", ">"},  {"&amp;", "&"}};
    for (const auto& entity : entities) {
        for (size_t at; (at = message.find(entity[0])) != std::string::npos;) {
            message.replace(at, std::strlen(entity[0]), entity[1]);
        }
    }
    return message;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const unsigned long seconds = argc >= 3 ? std::wcstoul(argv[1], nullptr, 10) : 0;
    if (seconds == 0) {
        std::printf("usage: run_test_program <seconds> <name> [arguments...]\n");
        return 2;
    }
    // A crash ends the program at once instead of waiting on Windows Error Reporting's dialog;
    // the processes it starts inherit the mode. SEM_FAILCRITICALERRORS stays off: the programs
    // under test must set it themselves, and the tests check that they do.
    SetErrorMode(SEM_NOGPFAULTERRORBOX);

    const std::wstring name = argv[2];
    const std::wstring arguments = ArgumentsAfterName();
    const std::wstring program = L"\"" + name + L".exe\" " + arguments;
    const std::wstring xmlPath = name + L".xml";
    const std::wstring logPath = name + L".log";
    const std::wstring listPath = name + L".list";
    DeleteFileW(xmlPath.c_str());

    unsigned long listed = 0;
    {
        HANDLE created = CreateInheritableFile(listPath);
        if (created == INVALID_HANDLE_VALUE) {
            std::printf("%ls: cannot write %ls (error %lu)\n", name.c_str(), listPath.c_str(), GetLastError());
            return 2;
        }
        handles::UniqueHandle list(created);
        Run(program + L" --gtest_list_tests", created, seconds);
    }
    // Suites start in the first column, their cases are indented.
    const std::string list = ReadBytes(listPath);
    DeleteFileW(listPath.c_str());
    for (size_t line = 0; line < list.size(); line = list.find('\n', line) + 1) {
        if (list.compare(line, 2, "  ") == 0) ++listed;
        if (list.find('\n', line) == std::string::npos) break;
    }

    Outcome outcome;
    {
        HANDLE created = CreateInheritableFile(logPath);
        if (created == INVALID_HANDLE_VALUE) {
            std::printf("%ls: cannot write %ls (error %lu)\n", name.c_str(), logPath.c_str(), GetLastError());
            return 2;
        }
        handles::UniqueHandle log(created);
        outcome = Run(program + L" --gtest_output=xml:" + xmlPath, created, seconds);
    }

    const std::string xml = ReadBytes(xmlPath);
    unsigned long passed = 0, failed = 0, skipped = 0;
    std::string skips;
    for (size_t at = xml.find("<testsuite "); at != std::string::npos; at = xml.find("<testsuite ", at + 1)) {
        const unsigned long tests = Number(Attribute(xml, at, "tests"));
        const unsigned long suiteFailed = Number(Attribute(xml, at, "failures"));
        // A disabled case is listed but never runs.
        const unsigned long suiteSkipped = Number(Attribute(xml, at, "skipped")) + Number(Attribute(xml, at, "disabled"));
        failed += suiteFailed;
        skipped += suiteSkipped;
        passed += tests >= suiteFailed + suiteSkipped ? tests - suiteFailed - suiteSkipped : 0;
    }
    for (size_t at = xml.find("result=\"skipped\""); at != std::string::npos; at = xml.find("result=\"skipped\"", at + 1)) {
        const size_t element = xml.rfind("<testcase ", at);
        const size_t message = xml.find("<skipped message=\"", at);
        const std::string reason = message == std::string::npos
                                       ? std::string()
                                       : xml.substr(message + 18, xml.find('"', message + 18) - message - 18);
        skips += "  skipped " + Attribute(xml, element, "classname") + "." + Attribute(xml, element, "name") + ": " +
                 SkipReason(reason) + "\n";
    }

    for (size_t at = xml.find("status=\"notrun\""); at != std::string::npos; at = xml.find("status=\"notrun\"", at + 1)) {
        const size_t element = xml.rfind("<testcase ", at);
        skips += "  skipped " + Attribute(xml, element, "classname") + "." + Attribute(xml, element, "name") +
                 ": disabled (not run on its own)\n";
    }

    std::string why;
    const unsigned long reported = passed + failed + skipped;
    if (outcome.status == kTimedOut) {
        why = "ended after its time limit of " + std::to_string(seconds) + " s";
    } else if (outcome.status != 0 && failed == 0) {
        char status[16];
        std::snprintf(status, sizeof(status), "0x%08lX", outcome.status);
        why = std::string("exited with status ") + status;
    }
    if (reported < listed) {
        failed += listed - reported;
    } else if (!why.empty() && failed == 0) {
        // Every case passed, yet the program itself did not end well: it counts as one failure.
        failed = 1;
    }

    std::printf("%-28ls %lu passed, %lu failed, %lu skipped (%.1f s)%s%s\n", name.c_str(), passed, failed, skipped,
                outcome.milliseconds / 1000.0, why.empty() ? "" : ": ", why.c_str());
    std::fputs(skips.c_str(), stdout);
    if (failed > 0) {
        std::printf("---- %ls ----\n", logPath.c_str());
        std::fflush(stdout);
        const std::string log = ReadBytes(logPath);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
        std::printf("---- end of %ls ----\n", logPath.c_str());
    }
    std::fflush(stdout);

    FILE* counts = _wfopen((name + L".counts").c_str(), L"w");
    if (!counts) return 2;
    std::fprintf(counts, "%lu %lu %lu\n", passed, failed, skipped);
    std::fclose(counts);
    return failed > 0 ? 1 : 0;
}
