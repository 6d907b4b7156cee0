// How long an inspection and a folder scan take, and whether repeated inspections and plug-in
// dialogs leave anything behind. Prints figures; judging them is left to the reader.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "fixture_log.h"
#include "history.h"
#include "inspect.h"
#include "search.h"
#include "module.h"
#include "scan.h"
#include "scratch.h"
#include "test_browser_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Usage {
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    DWORD kernelHandles = 0;
    long long privateBytes = 0;
    long long commitBytes = 0;
};

Usage CurrentUsage()
{
    Usage usage;
    usage.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    usage.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &usage.kernelHandles);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    usage.privateBytes = static_cast<long long>(counters.PrivateUsage);
    usage.commitBytes = static_cast<long long>(counters.PagefileUsage);
    return usage;
}

void InspectionAgainstBareLoad(const TestBrowserDialog& dialog)
{
    const std::wstring path = FixturePath(L"ordinary.sph");
    dialog.ShowEntry(FixturesDir(), L"ordinary.sph");
    constexpr int kRounds = 300;
    std::vector<double> inspections;
    std::vector<double> loads;
    for (int i = 0; i < kRounds; ++i) {
        Clock::time_point start = Clock::now();
        InspectSelectedPlugin(dialog.get());
        inspections.push_back(MicrosecondsSince(start));

        start = Clock::now();
        HMODULE library = LoadLibraryW(path.c_str());
        FreeLibrary(library);
        loads.push_back(MicrosecondsSince(start));
    }
    const double inspection = Median(inspections);
    const double load = Median(loads);
    std::printf("inspection of ordinary.sph: %.0f us median of %d; LoadLibraryW+FreeLibrary: %.0f us; ratio %.2f\n",
                inspection, kRounds, load, inspection / load);
}

double ScanSeconds(const TestBrowserDialog& dialog, int fileCount)
{
    TempFolder folder;
    // The first in list order is a real plug-in, so the scan ends with a real inspection.
    CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / L"00000.sph").c_str(), FALSE);
    for (int i = 1; i < fileCount; ++i) {
        wchar_t name[32] = {};
        swprintf_s(name, 32, L"%05d.sph", fileCount - i);
        WriteBytes(folder / name, "x");
    }
    const Clock::time_point start = Clock::now();
    ScanFolder(dialog.get(), folder.Path());
    const double seconds = MicrosecondsSince(start) / 1e6;
    const int listed = static_cast<int>(SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_GETCOUNT, 0, 0));
    const auto info = dialog.Rows(IDC_INFO_LIST);
    std::printf("ScanFolder of %d files: %.3f s (listed %d, inspected %ls)\n", fileCount, seconds, listed,
                info.empty() ? L"nothing" : info[0].second.c_str());
    return seconds;
}

// A search for a name that no plug-in reads asks every entry of the list, against one
// inspection of each entry. Both over the folder's list as a scan leaves it.
void SearchAgainstInspections(const TestBrowserDialog& dialog, const std::wstring& folder, const char* label)
{
    ScanFolder(dialog.get(), folder);
    const int count = static_cast<int>(SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_GETCOUNT, 0, 0));
    constexpr int kRounds = 5;
    std::vector<double> searches;
    std::vector<double> inspections;
    for (int round = 0; round < kRounds; ++round) {
        Clock::time_point start = Clock::now();
        SelectPluginForFile(dialog.get(), L"picture.none");
        searches.push_back(MicrosecondsSince(start));

        start = Clock::now();
        for (int i = 0; i < count; ++i) {
            SendMessageW(dialog.Item(IDC_PLUGIN_LIST), LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            InspectSelectedPlugin(dialog.get());
        }
        inspections.push_back(MicrosecondsSince(start));
    }
    const double search = Median(searches) / 1000;
    const double inspection = Median(inspections) / 1000;
    std::printf("search of %s (%d plug-ins) for a name none reads: %.1f ms median of %d; inspecting each once: "
                "%.1f ms; ratio %.2f\n",
                label, count, search, kRounds, inspection, search / inspection);
}

void SearchesAgainstInspections(const TestBrowserDialog& dialog)
{
    SearchAgainstInspections(dialog, ExecutableDir() + L"\\samples", "the sample folder");
    TempFolder copies;
    for (int i = 0; i < 100; ++i) {
        wchar_t name[32] = {};
        swprintf_s(name, 32, L"%03d.sph", i);
        CopyFileW(FixturePath(L"ordinary.sph").c_str(), (copies / name).c_str(), FALSE);
    }
    SearchAgainstInspections(dialog, copies.Path(), "100 copies of a fixture");
}

void RepeatedOperationsLeaveNothingBehind(const TestBrowserDialog& dialog)
{
    const std::wstring path = FixturePath(L"result0.sph");
    dialog.ShowEntry(FixturesDir(), L"result0.sph");
    // One round first, so that one-time allocations of the system are not counted.
    InspectSelectedPlugin(dialog.get());
    OpenPluginDialog(dialog.get(), 1);

    GetInitialFolder(dialog.get());

    const Usage before = CurrentUsage();
    for (int i = 0; i < 1000; ++i) InspectSelectedPlugin(dialog.get());
    for (int i = 0; i < 100; ++i) OpenPluginDialog(dialog.get(), 1);
    // The start-up sources too: the settings file and the registry key are opened each time.
    for (int i = 0; i < 100; ++i) GetInitialFolder(dialog.get());
    const Usage after = CurrentUsage();

    // Where committed memory grows, phase by phase, against bare loads of the same library.
    long long mark = CurrentUsage().commitBytes;
    const auto phase = [&mark](const char* name) {
        const long long now = CurrentUsage().commitBytes;
        std::printf("  committed bytes, %s: %+lld KB\n", name, (now - mark) / 1024);
        mark = now;
    };
    for (int i = 0; i < 1000; ++i) FreeLibrary(LoadLibraryW(path.c_str()));
    phase("1000 bare LoadLibraryW+FreeLibrary");
    for (int i = 0; i < 1000; ++i) InspectSelectedPlugin(dialog.get());
    phase("1000 inspections");
    for (int i = 0; i < 100; ++i) OpenPluginDialog(dialog.get(), 1);
    phase("100 Settings");
    for (int i = 0; i < 100; ++i) GetInitialFolder(dialog.get());
    phase("100 start-up folder look-ups");

    std::printf("1000 inspections + 100 Settings of result0.sph + 100 start-up folder look-ups:\n"
                "  module loaded afterwards: %s\n"
                "  GDI objects %lu -> %lu, USER objects %lu -> %lu (Wine answers 0 for both)\n"
                "  kernel handles %lu -> %lu (Wine answers 0)\n"
                "  private bytes %+lld KB (Wine answers 0), committed bytes %+lld KB\n",
                IsLoaded(path) ? "yes" : "no", before.gdiObjects, after.gdiObjects, before.userObjects,
                after.userObjects, before.kernelHandles, after.kernelHandles,
                (after.privateBytes - before.privateBytes) / 1024, (after.commitBytes - before.commitBytes) / 1024);
}

}  // namespace

int wmain()
{
    SetInstanceHandle(GetModuleHandleW(nullptr));
    // Scans record their folders; the real history is put back at the end.
    SavedFile savedSettings(GetSettingsFilePath(nullptr));
    TestBrowserDialog dialog;
    if (!dialog.get()) {
        std::printf("the browser dialog could not be created\n");
        return 1;
    }
    // Visible, as in use: a hidden window skips much of the work that state changes cause.
    ShowWindow(dialog.get(), SW_SHOWNOACTIVATE);
    InspectionAgainstBareLoad(dialog);
    const double small = ScanSeconds(dialog, 1000);
    const double large = ScanSeconds(dialog, 10000);
    std::printf("growth from 1,000 to 10,000 files: %.1fx\n", large / small);
    SearchesAgainstInspections(dialog);
    RepeatedOperationsLeaveNothingBehind(dialog);
    return 0;
}
