// Plexmoor1.exe started the way a shell or a drop on its icon starts it, watched from outside:
// its message boxes are read and dismissed, the fixture plug-ins say what it did to them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixture_log.h"
#include "intercept.h"
#include "process_ui.h"
#include "scratch.h"

// The exception handler of the entry function, checked in this process below; test programs
// link only the test support, so the configurator's code is compiled in here.
#include "../../configurator/configurator.cpp"

namespace {

const wchar_t kRelativePath[] = L"相対パスは受け付けていません。  絶対パスで指定してください。";
const wchar_t kLoadFailed[] = L"プラグインをロードできませんでした。";
const wchar_t kNotAPlugin[] = L"Susieプラグインではないようです。";
const wchar_t kNoSettings[] = L"設定項目のないプラグインです。";

constexpr DWORD kUsageExit = 0xFFFFFFFF;
constexpr DWORD kRunTimeoutMs = 20000;

std::wstring Plexmoor1() { return ExecutableDir() + L"\\Plexmoor1.exe"; }

std::wstring CopyInto(const TempFolder& folder, const std::wstring& source, const std::wstring& relativeName)
{
    const std::wstring target = folder / relativeName;
    CreateDirectoryW(target.substr(0, target.find_last_of(L'\\')).c_str(), nullptr);
    EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << Utf8(target);
    return target;
}

std::wstring VersionValue(const std::wstring& exePath, const wchar_t* key)
{
    const DWORD size = GetFileVersionInfoSizeW(exePath.c_str(), nullptr);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(exePath.c_str(), 0, size, data.data())) return L"";
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + key;
    if (!VerQueryValueW(data.data(), query.c_str(), &value, &length) || !value) return L"";
    return static_cast<const wchar_t*>(value);
}

std::wstring Usage(const std::wstring& name, const std::wstring& version, const std::wstring& copyright)
{
    return name + L"  Version " + version + L"  " + copyright + L"\r\n\r\n使い方:\t" + name +
           L".exe Susieプラグインへのフルパス\r\n\t単純にドラッグ＆ドロップでも可";
}

void ExpectSingleBox(const RunResult& outcome, const std::wstring& text, bool icon)
{
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].text, text) << Utf8(outcome.boxes[0].text);
    EXPECT_EQ(outcome.boxes[0].caption, L"Plexmoor1");
    EXPECT_EQ(outcome.boxes[0].icon, icon);
    EXPECT_EQ(outcome.boxes[0].owner, nullptr);
    EXPECT_EQ(outcome.strayWindows, 0);
}

// The configurator's resources, for its code compiled into this program.
struct ConfiguratorResources {
    HMODULE module =
        LoadLibraryExW(Plexmoor1().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ~ConfiguratorResources() { FreeLibrary(module); }
};

}  // namespace

TEST(ConfiguratorUsage, NamesTheRunningCopyWithVersionAndCopyrightAndExitsMinusOne)
{
    const std::wstring copyright = VersionValue(Plexmoor1(), L"LegalCopyright");
    ASSERT_FALSE(copyright.empty());
    TempFolder folder;
    struct Case {
        std::wstring exe;
        std::wstring name;
    };
    const Case cases[] = {
        {Plexmoor1(), L"Plexmoor1"},
        {CopyInto(folder, Plexmoor1(), L"cfg.exe"), L"cfg"},
        {CopyInto(folder, Plexmoor1(), L"a.b.c.exe"), L"a.b.c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.exe));
        const RunResult outcome = RunAnsweringBoxes(c.exe, L"");
        ExpectSingleBox(outcome, Usage(c.name, L"1.2.0.0", copyright), false);
        EXPECT_EQ(outcome.exitCode, kUsageExit);
    }
}

TEST(ConfiguratorUsage, WithoutVersionResourceKeepsTheSeparatorsAndTheProgramNameAsCaption)
{
    const RunResult outcome = RunAnsweringBoxes(ExecutableDir() + L"\\Plexmoor1NoVersion.exe", L"");
    ExpectSingleBox(outcome, Usage(L"Plexmoor1NoVersion", L"", L""), false);
    EXPECT_EQ(outcome.exitCode, kUsageExit);
}

TEST(ConfiguratorRejects, RelativePathsWithoutLoadingThemEvenWhenTheFileIsThere)
{
    TempFolder folder;
    CopyInto(folder, FixturePath(L"ordinary.sph"), L"ordinary.sph");
    CreateDirectoryW((folder.Path() + L"\\sub").c_str(), nullptr);
    struct Case {
        std::wstring argument;
        std::wstring workingDir;
    };
    const Case cases[] = {
        {L"ordinary.sph", folder.Path()},
        {L"..\\ordinary.sph", folder.Path() + L"\\sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.argument));
        FixtureLog log;
        const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), c.argument, c.workingDir);
        ExpectSingleBox(outcome, std::wstring(kRelativePath) + L"\r\n" + c.argument, true);
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(log.Count("ordinary "), 0u);
    }
}

TEST(ConfiguratorRejects, LibrariesThatCannotBeLoadedOrAreNoPlugInsOrHaveNoSettings)
{
    struct Case {
        const wchar_t* file;
        const wchar_t* message;
        bool icon;
    };
    const Case cases[] = {
        {L"missing.sph", kLoadFailed, true},
        {L"notalib.sph", kLoadFailed, true},
        {L"truncated.sph", kLoadFailed, true},
        {L"win32.sph", kLoadFailed, true},
        {L"refuses.sph", kLoadFailed, true},
        {L"plainlib.sph", kNotAPlugin, true},
        {L"infoonly.sph", kNoSettings, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.file));
        const std::wstring path = FixturePath(c.file);
        FixtureLog log;
        const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), Quote(path));
        ExpectSingleBox(outcome, std::wstring(c.message) + L"\r\n" + path, c.icon);
        EXPECT_EQ(outcome.exitCode, 1u);
        // plainlib exports ConfigurationDlg too, but without GetPluginInfo it is no plug-in.
        EXPECT_EQ(log.Count("plainlib config"), 0u);
        EXPECT_EQ(log.Count("infoonly info"), 0u);
    }
}

TEST(ConfiguratorResults, SuccessAndNotImplementedEndSilentlyAfterOneCallWithTheHostAsParent)
{
    for (const wchar_t* file : {L"result0.sph", L"result_1.sph"}) {
        SCOPED_TRACE(Utf8(file));
        FixtureLog log;
        const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), Quote(FixturePath(file)));
        EXPECT_TRUE(outcome.boxes.empty());
        EXPECT_EQ(outcome.exitCode, 0u);
        const std::string name = Utf8(std::wstring(file, wcslen(file) - 4));
        const std::vector<std::string> calls = log.Matching(name + " config ");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_NE(calls[0], name + " config 1 0") << "called without the host as parent";
        EXPECT_EQ(log.Count(name + " detach"), 1u);
        // A plug-in reading a drive without media gets a failed call, not the system's box.
        EXPECT_EQ(log.ErrorModeAtAttach(name) & SEM_FAILCRITICALERRORS, SEM_FAILCRITICALERRORS);
    }
}

TEST(ConfiguratorResults, ThePluginsSettingsRunDpiUnaware)
{
    FixtureLog log;
    const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), Quote(FixturePath(L"calls\\awareness.sph")));
    EXPECT_EQ(outcome.exitCode, 0u);
    // Each call logs its line, then the awareness it runs with.
    const std::vector<std::string> lines = log.Lines();
    const auto call = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& line) { return line.rfind("awareness config 1 ", 0) == 0; });
    ASSERT_NE(call, lines.end());
    ASSERT_NE(call + 1, lines.end());
    EXPECT_EQ(*(call + 1), "awareness awareness 0");
}

TEST(ConfiguratorResults, ErrorResultsShowTheirOwnLineAndThePathAndExitOne)
{
    struct Case {
        const wchar_t* file;
        const char* name;
        const wchar_t* line;
    };
    const Case cases[] = {
        {L"result2.sph", "result2", L"未対応のフォーマットです。"},
        {L"result1.sph", "result1", L"キャンセルされました。"},
        // -11 arrives at DialogBoxParamW as -1, its own failure value: still one call only.
        {L"result_11.sph", "result_11", L"未知のエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = FixturePath(c.file);
        FixtureLog log;
        const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), Quote(path));
        ExpectSingleBox(outcome, std::wstring(c.line) + L"\r\n" + path, true);
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(log.Count(std::string(c.name) + " config 1 "), 1u);
    }
}

// The results no fixture returns: each of 1 to 8 has its own line, 9 and beyond the line for
// any other value.
TEST(ConfiguratorResults, ThreeToEightHaveTheirOwnTextsAndNineTheOneForAnyOther)
{
    ConfiguratorResources resources;
    ASSERT_NE(resources.module, nullptr);
    SetInstanceHandle(resources.module);
    const struct {
        int result;
        const wchar_t* text;
    } cases[] = {
        {3, L"データが壊れています。"},
        {4, L"メモリが確保出来ませんでした。"},
        {5, L"メモリ関係でエラーが発生しました。"},
        {6, L"ファイルを読み取れませんでした。"},
        {7, L"未知のエラーが発生しました。"},
        {8, L"内部エラーが発生しました。"},
        {9, L"未知のエラーが発生しました。"},
        {1000, L"未知のエラーが発生しました。"},
    };
    for (const auto& c : cases) EXPECT_EQ(LoadResourceString(ResultMessageId(c.result)), c.text) << c.result;
    SetInstanceHandle(GetModuleHandleW(nullptr));
}

TEST(ConfiguratorArguments, QuotedPathWithSpacesIsOneArgumentAndFurtherOnesAreIgnored)
{
    TempFolder folder;
    const std::wstring path = CopyInto(folder, FixturePath(L"result2.sph"), L"with space\\result2 copy.sph");
    const std::wstring ignored = FixturePath(L"result0.sph");
    for (const std::wstring& arguments : {Quote(path), Quote(path) + L" " + Quote(ignored) + L" extra"}) {
        SCOPED_TRACE(Utf8(arguments));
        FixtureLog log;
        const RunResult outcome = RunAnsweringBoxes(Plexmoor1(), arguments);
        ExpectSingleBox(outcome, std::wstring(L"未対応のフォーマットです。\r\n") + path, true);
        EXPECT_EQ(outcome.exitCode, 1u);
        EXPECT_EQ(log.Count("result2 copy config 1 "), 1u);
        EXPECT_EQ(log.Count("result0 "), 0u);
    }
}

TEST(ConfiguratorHost, OwnsThePlugInDialogAsAnInvisibleZeroSizeTopLevelWindow)
{
    FixtureLog log;
    Program child(Plexmoor1(), Quote(FixturePath(L"selfclosing.sph")));
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(log.WaitFor("selfclosing dialog ", 1, kRunTimeoutMs));

    // While the plug-in's dialog is up: its owner is the host, a top-level dialog of the process.
    HWND dialog = nullptr;
    for (HWND window : TopLevelWindows(child.Id())) {
        if (TextOf(window) == L"selfclosing") dialog = window;
    }
    ASSERT_NE(dialog, nullptr);
    HWND host = GetWindow(dialog, GW_OWNER);
    ASSERT_NE(host, nullptr);
    DWORD hostProcess = 0;
    GetWindowThreadProcessId(host, &hostProcess);
    EXPECT_EQ(hostProcess, child.Id());
    EXPECT_EQ(ClassOf(host), L"#32770");
    EXPECT_EQ(GetAncestor(host, GA_PARENT), GetDesktopWindow());
    const LONG style = GetWindowLongW(host, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_BORDER);

    EXPECT_EQ(child.Wait(kRunTimeoutMs), 0u);
    const std::vector<std::string> calls = log.Matching("selfclosing config ");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "selfclosing config 1 " + HandleText(host));
    const std::vector<std::string> owners = log.Matching("selfclosing owner ");
    ASSERT_EQ(owners.size(), 1u);
    EXPECT_EQ(owners[0], "selfclosing owner " + HandleText(host) + " same=1 visible=1 enabled=0 size=0x0");
    EXPECT_EQ(log.Count("selfclosing dialogfailed"), 0u);
    EXPECT_FALSE(IsWindow(host));
}

// The host from the real template, in this process, with a stand-in for the plug-in that
// sends the host what other code may send it meanwhile: DM_GETDEFID (the same number as
// WM_USER), a WM_USER with a foreign parameter, and the host's own message once more.
TEST(ConfiguratorHost, CallsThePlugInOnceFromItsOwnPostedMessageAndEndsWithResultPlusTen)
{
    ConfiguratorResources resources;
    ASSERT_NE(resources.module, nullptr);

    static int calls;
    static int answer;
    static HostCall* call;
    static std::vector<HWND> parents;
    struct StandIn {
        static int WINAPI ConfigurationDlg(HWND parent, int function)
        {
            parents.push_back(parent);
            if (++calls > 1 || function != 1) return 1000;
            SendMessageW(parent, DM_GETDEFID, 0, 0);
            SendMessageW(parent, WM_USER, 0, 0x1234);
            SendMessageW(parent, WM_USER, 0, reinterpret_cast<LPARAM>(call));
            return answer;
        }
    };
    struct Case {
        int result;
        INT_PTR hostResult;
    };
    const Case cases[] = {
        {0, 10},
        {-1, 9},
        {-11, -1},
        // The sum wraps as a 32-bit value and is widened with its sign.
        {0x7FFFFFFF, static_cast<INT_PTR>(-0x7FFFFFFF - 1 + 9)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        calls = 0;
        answer = c.result;
        parents.clear();
        HostCall host{&StandIn::ConfigurationDlg, false, 0};
        call = &host;
        const INT_PTR r = DialogBoxParamW(resources.module, MAKEINTRESOURCEW(IDD_CONFIG_HOST), nullptr,
                                          HostDialogProc, reinterpret_cast<LPARAM>(&host));
        EXPECT_EQ(r, c.hostResult);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(host.called);
        EXPECT_EQ(host.result, c.result);
        ASSERT_EQ(parents.size(), 1u);
        EXPECT_NE(parents[0], nullptr);
        EXPECT_FALSE(IsWindow(parents[0]));
    }
}

// Exit code 2 cannot be provoked from outside (only an allocation or length failure leads
// there), so the handler that wWinMain runs is exercised here, in this process.
TEST(ConfiguratorExceptions, AreShownWithoutCaptionOrOwnerAndEndWithExitCodeTwo)
{
    static std::vector<std::string> ansiBoxes;
    static UINT ansiType = 0;
    static bool ansiCaptionNull = false;
    struct Fake {
        static int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
        {
            ansiBoxes.push_back(owner ? "owned" : text);
            ansiCaptionNull = caption == nullptr;
            ansiType = type;
            return IDOK;
        }
    };
    void* real = PatchImport("user32.dll", "MessageBoxA", reinterpret_cast<void*>(&Fake::MessageBoxA));
    ASSERT_NE(real, nullptr);
    UiIntercept ui;

    int code = 0;
    try {
        throw std::length_error("basic_string::_M_create");
    } catch (...) {
        code = ReportEscapedException();
    }
    EXPECT_EQ(code, 2);
    ASSERT_EQ(ansiBoxes.size(), 1u);
    EXPECT_EQ(ansiBoxes[0], "basic_string::_M_create");
    EXPECT_TRUE(ansiCaptionNull);
    EXPECT_EQ(ansiType, static_cast<UINT>(MB_ICONERROR));

    try {
        throw 42;
    } catch (...) {
        code = ReportEscapedException();
    }
    EXPECT_EQ(code, 2);
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].owner, nullptr);
    EXPECT_EQ(ui.MessageBoxes()[0].text, L"Internal error.");
    EXPECT_EQ(ui.MessageBoxes()[0].caption, L"");
    EXPECT_EQ(ui.MessageBoxes()[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(ansiBoxes.size(), 1u);

    PatchImport("user32.dll", "MessageBoxA", real);
}
