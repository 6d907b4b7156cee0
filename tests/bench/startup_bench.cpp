// Start-up of Plexmoor2, from process creation until its dialog shows (the first folder scan
// and inspection run before that), against a program that only opens an empty dialog.
// Both are started alternately in one run, so the machine's noise hits both alike.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "process_ui.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds until the program's dialog is visible; -1 when it never was.
double TimeToDialog(const std::wstring& exe, const wchar_t* closeHow)
{
    const auto start = Clock::now();
    Program process(exe);
    HWND dialog = nullptr;
    while (!dialog && Clock::now() - start < std::chrono::seconds(20)) {
        dialog = WaitForWindow(process.Id(), L"#32770", nullptr, 0);
        if (!dialog) Sleep(1);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!dialog) return -1;
    if (std::wstring(closeHow) == L"syscommand") {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    process.Wait(10000);
    return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int rounds = argc > 1 ? _wtoi(argv[1]) : 15;
    const std::wstring dir = ExecutableDir();
    std::vector<double> minimal, browser;
    // One unmeasured start of each warms the file cache and Wine's services.
    TimeToDialog(dir + L"\\minimal_dialog.exe", L"close");
    TimeToDialog(dir + L"\\Plexmoor2.exe", L"syscommand");
    for (int i = 0; i < rounds; ++i) {
        minimal.push_back(TimeToDialog(dir + L"\\minimal_dialog.exe", L"close"));
        browser.push_back(TimeToDialog(dir + L"\\Plexmoor2.exe", L"syscommand"));
    }
    if (std::count(minimal.begin(), minimal.end(), -1.0) || std::count(browser.begin(), browser.end(), -1.0)) {
        std::printf("a dialog never appeared\n");
        return 1;
    }
    const double m = Median(minimal), b = Median(browser);
    std::printf("start-up to dialog shown, median of %d starts\n", rounds);
    std::printf("  empty dialog program: %8.1f ms\n", m);
    std::printf("  Plexmoor2 (first scan and inspection done): %8.1f ms\n", b);
    std::printf("  ratio: %.2f (target 1.30 or less)\n", b / m);
    return 0;
}
