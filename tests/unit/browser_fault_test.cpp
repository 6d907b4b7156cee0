// A plug-in that faults costs the user one action, never the browser; what the system starts
// meanwhile keeps no plug-in loaded; plug-ins find the libraries that lie beside them.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "answer_buffer.h"
#include "fixture_log.h"
#include "handles.h"
#include "inspect.h"
#include "intercept.h"
#include "plugin.h"
#include "plugin_info.h"
#include "plugin_library.h"
#include "resource.h"
#include "scan.h"
#include "scratch.h"
#include "selection.h"
#include "test_browser_dialog.h"

namespace {

TEST(ContainedCalls, EveryKindOfFaultIsContainedAndWhatThePluginHandlesItselfPassesThrough)
{
    // Released, not freed, at the end: the library has faulted.
    handles::UniqueLibrary library(LoadLibraryW(FixturePath(L"faulting\\faulty.sph").c_str()));
    const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
    ASSERT_NE(getPluginInfo, nullptr);

    bool faulted = true;
    EXPECT_EQ(PluginInfoText(getPluginInfo, 3, &faulted), L"ABC image");
    EXPECT_FALSE(faulted) << "an exception the plug-in caught itself is none of ours";
    // Access violation, division by zero, RaiseException, an escaping C++ exception.
    for (int number : {4, 5, 6, 7}) {
        faulted = false;
        EXPECT_EQ(PluginInfoText(getPluginInfo, number, &faulted), L"") << number;
        EXPECT_TRUE(faulted) << number;
    }
    library.release();
}

// Stands in for what the system makes on our thread while a plug-in's call runs, as a list view
// makes its tooltip or an input method its windows when first needed: windows that appear as the
// plug-in's dialog activates and are not the plug-in's. A hidden one, a tooltip on screen, and one
// on screen that the input method's window owns (a candidate list, say), where there is one.
class WindowMadeMeanwhile {
public:
    WindowMadeMeanwhile() : hook_(SetWindowsHookExW(WH_CBT, Make, nullptr, GetCurrentThreadId())) {}
    ~WindowMadeMeanwhile()
    {
        if (hook_) UnhookWindowsHookEx(hook_);
        for (HWND& made : made_) {
            if (made) DestroyWindow(made);
            made = nullptr;
        }
    }
    HWND get() const { return made_[0]; }
    HWND Tooltip() const { return made_[1]; }
    HWND OwnedByInputMethod() const { return made_[2]; }

private:
    static LRESULT CALLBACK Make(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE && !made_[0]) {
            const HINSTANCE instance = GetModuleHandleW(nullptr);
            made_[0] = CreateWindowExW(0, L"Static", L"made meanwhile", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       instance, nullptr);
            made_[1] = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, L"", WS_POPUP | WS_VISIBLE | TTS_NOPREFIX, 0, 0,
                                       10, 10, nullptr, nullptr, instance, nullptr);
            typedef HWND(WINAPI * DefaultWindowFn)(HWND);
            const HMODULE imm32 = GetModuleHandleW(L"imm32.dll");
            const auto defaultWindow =
                imm32 ? GetPluginExport<DefaultWindowFn>(imm32, "ImmGetDefaultIMEWnd") : nullptr;
            if (HWND inputMethod = defaultWindow ? defaultWindow(nullptr) : nullptr) {
                made_[2] = CreateWindowExW(WS_EX_NOACTIVATE, L"Static", L"candidates", WS_POPUP | WS_VISIBLE, 0, 0,
                                           10, 10, inputMethod, nullptr, instance, nullptr);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static HWND made_[3];
    HHOOK hook_;
};
HWND WindowMadeMeanwhile::made_[3] = {};

// Answers are given one after the other in one region; one asked for while another is being given
// (from a modal loop the plug-in runs) must neither share it nor find the last answer in it.
TEST(AnswerBuffers, EachAnswerStartsFromZerosAndANestedOneHasABufferOfItsOwn)
{
    const auto zeroed = [](const PluginAnswerBuffer& buffer) {
        return std::count(buffer.data(), buffer.data() + plugin::kInfoBufferBytes, '\0') == plugin::kInfoBufferBytes;
    };
    {
        const PluginAnswerBuffer first;
        ASSERT_NE(first.data(), nullptr);
        std::memset(first.data(), 'x', plugin::kInfoBufferBytes);
        const PluginAnswerBuffer nested;
        ASSERT_NE(nested.data(), nullptr);
        EXPECT_NE(nested.data(), first.data());
        EXPECT_TRUE(zeroed(nested));
        EXPECT_EQ(first.data()[plugin::kInfoBufferBytes - 1], 'x');
    }
    const PluginAnswerBuffer next;
    ASSERT_NE(next.data(), nullptr);
    EXPECT_TRUE(zeroed(next)) << "the last answer is still there";
}

// Each order on a copy of its own, first loaded in this program by the step that faults first:
// a library that faulted stays loaded, so only that step shows whether it would be freed.
TEST(PluginFaults, InspectionKeepsWhatItGatheredSettingsCleanUpAndTheLibraryIsNeverFreed)
{
    TempFolder folder;
    FixtureLog log;
    UiIntercept ui;
    TestBrowserDialog dialog;
    for (const bool settingsFirst : {false, true}) {
        const std::wstring name = settingsFirst ? L"settingsfirst.sph" : L"inspectedfirst.sph";
        const std::string stem = Utf8(name.substr(0, name.size() - 4));
        SCOPED_TRACE(stem);
        ASSERT_TRUE(CopyFileW(FixturePath(L"faulting\\faulty.sph").c_str(), (folder / name).c_str(), TRUE));
        dialog.ShowEntry(folder.Path(), name);
        for (const bool settings : {settingsFirst, !settingsFirst}) {
            SCOPED_TRACE(settings ? "settings" : "inspection");
            ui.Clear();
            if (settings) {
                SendMessageW(dialog.Item(IDC_INFO_LIST), LVM_DELETEALLITEMS, 0, 0);
                const WindowMadeMeanwhile meanwhile;
                OpenPluginDialog(dialog.get(), 1);
                ASSERT_EQ(log.Count(stem + " faulting"), 1u);
                EXPECT_FALSE(IsWindow(log.LoggedWindow(stem + " dialog ")));
                ASSERT_NE(meanwhile.get(), nullptr);
                EXPECT_TRUE(IsWindow(meanwhile.get())) << "only the faulted plug-in's windows go";
                ASSERT_NE(meanwhile.Tooltip(), nullptr);
                EXPECT_TRUE(IsWindow(meanwhile.Tooltip())) << "a tooltip is the system's, also on screen";
                ASSERT_NE(meanwhile.OwnedByInputMethod(), nullptr);
                EXPECT_TRUE(IsWindow(meanwhile.OwnedByInputMethod())) << "the input method's windows stay";
                EXPECT_TRUE(IsWindowEnabled(dialog.get()));
                EXPECT_EQ(GetCapture(), nullptr);
                EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty()) << "no refresh from a plug-in in an unknown state";
            } else {
                InspectSelectedPlugin(dialog.get());
                EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (std::vector<Row>{{L"ファイル名", name},
                                                                        {L"About", L"Plexmoor test fixture 1.0"},
                                                                        {L"APIバージョン", L"00IN"}}));
                EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST), (std::vector<Row>{{L"*.abc", L"ABC image"}}));
                EXPECT_EQ(ListViewSelection(dialog.Item(IDC_TYPE_LIST)), 0);
                EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
            }
            EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
            EXPECT_TRUE(IsLoaded(folder / name));
            EXPECT_EQ(log.Count(stem + " detach"), 0u);
        }
        EXPECT_EQ(log.Count(stem + " attach"), 1u);
    }

    // A fault at the first question, the about text: the name alone, and nothing more is asked.
    ui.Clear();
    const std::wstring about = folder / L"faultabout.sph";
    ASSERT_TRUE(CopyFileW(FixturePath(L"faulting\\faultabout.sph").c_str(), about.c_str(), TRUE));
    dialog.ShowEntry(folder.Path(), L"faultabout.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (std::vector<Row>{{L"ファイル名", L"faultabout.sph"}}));
    EXPECT_TRUE(dialog.Rows(IDC_TYPE_LIST).empty());
    EXPECT_EQ(log.Matching("faultabout info "), std::vector<std::string>{"faultabout info 1"});
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_TRUE(IsLoaded(about));
}

// A window procedure of the plug-in that faults in what the window manager sends from inside
// CreateWindowEx: the system contains the fault itself, no handler of ours runs, and the settings
// call returns as if nothing had happened. It counts as the call's fault all the same. What a
// plug-in throws and catches itself does not, and a window class it leaves registered goes with its
// library, so that the next press can register it again.
TEST(PluginFaults, OneTheSystemContainsCountsAndAClassLeftRegisteredGoesWithTheLibrary)
{
    FixtureLog log;
    UiIntercept ui;
    TestBrowserDialog dialog;
    dialog.ShowEntry(FixturesDir() + L"\\faulting", L"faultsincreation.sph");
    OpenPluginDialog(dialog.get(), 1);
    ASSERT_EQ(log.Count("faultsincreation created 0"), 1u) << "its window procedure faulted";
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
    EXPECT_TRUE(dialog.Rows(IDC_INFO_LIST).empty()) << "no refresh from a plug-in in an unknown state";
    EXPECT_TRUE(IsLoaded(FixturePath(L"faulting\\faultsincreation.sph")));
    EXPECT_EQ(log.Count("faultsincreation detach"), 0u);

    ui.Clear();
    dialog.ShowEntry(FixturesDir() + L"\\calls", L"keepsclass.sph");
    for (int press = 1; press <= 2; ++press) {
        SCOPED_TRACE(press);
        OpenPluginDialog(dialog.get(), 1);
        EXPECT_EQ(log.Count("keepsclass register 0"), static_cast<size_t>(press)) << "its class is still there";
        EXPECT_EQ(log.Count("keepsclass detach free"), static_cast<size_t>(press));
        EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), (std::vector<Row>{{L"ファイル名", L"keepsclass.sph"},
                                                                {L"About", L"Plexmoor test fixture 1.0"},
                                                                {L"APIバージョン", L"00IN"}}));
    }
    EXPECT_TRUE(ui.Beeps().empty()) << "an exception the plug-in caught itself is none of ours";
}

// Started by the system while a plug-in is loaded (COM's, text services' or an input method's,
// say), at a function of a library that was there before it, and running none of its code.
class ThreadOfTheSystem {
public:
    ThreadOfTheSystem() : thread_(CreateThread(nullptr, 0, &Run, this, 0, nullptr))
    {
        if (thread_) WaitForSingleObject(waiting_.get(), INFINITE);
    }
    ~ThreadOfTheSystem()
    {
        SetEvent(stop_.get());
        if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    }
    bool Running() const { return thread_ != nullptr; }

private:
    static DWORD WINAPI Run(void* self)
    {
        auto* thread = static_cast<ThreadOfTheSystem*>(self);
        SetEvent(thread->waiting_.get());
        WaitForSingleObject(thread->stop_.get(), INFINITE);
        return 0;
    }
    handles::UniqueHandle waiting_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    handles::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    handles::UniqueHandle thread_;
};

// A window procedure in memory of no module, as ATL and WTL make them for their windows (and for
// the input methods written with them): mov rax, target; jmp rax.
class Thunk {
public:
    explicit Thunk(WNDPROC target)
    {
        code_.reset(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        if (!code_) return;
        auto* bytes = static_cast<unsigned char*>(code_.get());
        const unsigned char head[] = {0x48, 0xB8}, tail[] = {0xFF, 0xE0};
        std::memcpy(bytes, head, 2);
        std::memcpy(bytes + 2, &target, sizeof(target));
        std::memcpy(bytes + 2 + sizeof(target), tail, 2);
        FlushInstructionCache(GetCurrentProcess(), bytes, 12);
    }
    LONG_PTR get() const { return reinterpret_cast<LONG_PTR>(code_.get()); }

private:
    handles::UniqueVirtualMemory code_;
};

// What appears while a plug-in is loaded and is not its own leaves it free to go: a thread of
// the system's, a window the system makes through a thunk (its class from a library that was
// there before the plug-in). What is its own keeps it loaded: a window made through a thunk for
// its module, a message-only window of its class. (The fixtures that leave a thread or a window
// of their own on screen are kept by the browser and the configurator: LeftRunningPlugins.)
TEST(KeptLoaded, WhatAppearsWhileAPluginIsLoadedKeepsItLoadedOnlyWhenItIsThePlugins)
{
    FixtureLog log;
    TempFolder folder;
    const Thunk thunk(DefWindowProcW);
    ASSERT_TRUE(thunk.get());
    for (const bool forThePlugin : {false, true}) {
        SCOPED_TRACE(forThePlugin ? "made for the plug-in" : "the system's");
        const std::wstring name = forThePlugin ? L"madefor.sph" : L"meanwhile.sph";
        const std::wstring path = folder / name;
        ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), path.c_str(), TRUE));
        PluginLibrary library(LoadPluginLibrary(path));
        const HMODULE module = library.get();
        ASSERT_TRUE(module);
        const ThreadOfTheSystem thread;
        ASSERT_TRUE(thread.Running());
        HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      forThePlugin ? module : GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        SetWindowLongPtrW(window, GWLP_WNDPROC, thunk.get());
        EXPECT_TRUE(library.Free());
        EXPECT_EQ(IsLoaded(path), forThePlugin);
        DestroyWindow(window);
        if (forThePlugin) FreeLibrary(module);
    }
    EXPECT_EQ(log.Count("meanwhile detach free"), 1u);

    const std::wstring messages = FixturePath(L"running\\messages.sph");
    PluginLibrary library(LoadPluginLibrary(messages));
    const auto getPluginInfo = GetPluginExport<GetPluginInfoFn>(library.get(), plugin::kGetPluginInfo);
    ASSERT_NE(getPluginInfo, nullptr);
    PluginInfoText(getPluginInfo, 1);
    HWND window = log.LoggedWindow("messages window ");
    ASSERT_TRUE(IsWindow(window));
    const HMODULE module = library.get();
    library.Free();
    EXPECT_TRUE(IsLoaded(messages)) << "its message-only window would run in freed memory";
    DestroyWindow(window);
    FreeLibrary(module);
}

TEST(BesideLibraries, APluginFindsTheLibraryInItsOwnFolderAlsoFromARelativeFolder)
{
    UiIntercept ui;
    FixtureLog log;
    TestBrowserDialog dialog;
    const std::vector<Row> expected = {{L"ファイル名", L"withlib.sph"},
                                       {L"About", L"Text from the library beside the plug-in"},
                                       {L"APIバージョン", L"00IN"}};
    dialog.ShowEntry(FixturesDir() + L"\\beside", L"withlib.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), expected);

    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    const auto restore = handles::MakeScopeGuard([&previous] { SetCurrentDirectoryW(previous); });
    ASSERT_TRUE(SetCurrentDirectoryW(FixturesDir().c_str()));
    dialog.ShowEntry(L"beside", L"withlib.sph");
    InspectSelectedPlugin(dialog.get());
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST), expected);
    OpenPluginDialog(dialog.get(), 1);
    EXPECT_EQ(log.Count("withlib config 1 "), 1u);
    EXPECT_EQ(GetFolderText(dialog.get()), L"beside") << "the folder is shown as it was given";
    EXPECT_TRUE(ui.Beeps().empty());
}

// Last in this program: a fault that leaves FreeLibrary part way leaves the loader as it was
// then (Wine keeps its lock taken and unloads nothing more in this process).
TEST(FaultsAsFreed, AnInspectionKeepsItsViewAndBeepsOnceWithTheDialogBack)
{
    FixtureLog log;
    UiIntercept ui;
    TestBrowserDialog dialog;
    dialog.ShowEntry(FixturesDir() + L"\\faulting", L"faultdetach.sph");
    InspectSelectedPlugin(dialog.get());
    ASSERT_EQ(log.Count("faultdetach faulting at free"), 1u);
    EXPECT_EQ(dialog.Rows(IDC_INFO_LIST).size(), 3u);
    EXPECT_EQ(dialog.Rows(IDC_TYPE_LIST).size(), 3u);
    EXPECT_TRUE(dialog.Enabled(IDC_SETTINGS));
    EXPECT_TRUE(IsWindowEnabled(dialog.get()));
    EXPECT_EQ(ui.Beeps(), std::vector<UINT>{MB_ICONHAND});
}

}  // namespace
