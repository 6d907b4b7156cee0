// Column widths of a running Plexmoor2.exe against the DPI that its sources report, with the
// display set to 96 and to 144 DPI.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "process.h"
#include "scratch.h"
#include "resource.h"

namespace {

constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);
typedef BOOL(WINAPI* SetProcessDpiAwarenessContextFn)(HANDLE);

// The browser is per-monitor aware by its manifest; this process asks with the same eyes.
void BecomeDpiAware()
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto setContext = reinterpret_cast<SetProcessDpiAwarenessContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDpiAwarenessContext")));
    if (setContext && (setContext(reinterpret_cast<HANDLE>(-4)) || setContext(reinterpret_cast<HANDLE>(-3)))) return;
    SetProcessDPIAware();
}

// The DPI the browser's chain finds for its dialog: GetDpiForMonitor of its monitor, else
// the dialog's device context.
int SourceDpi(HWND dialog, int* deviceDpi)
{
    HDC dc = GetDC(dialog);
    *deviceDpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(dialog, dc);
    HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONULL);
    wchar_t path[MAX_PATH] = {};
    GetSystemDirectoryW(path, MAX_PATH);
    HMODULE shcore = LoadLibraryW((std::wstring(path) + L"\\Shcore.dll").c_str());
    int dpi = *deviceDpi;
    if (shcore && monitor) {
        auto getDpi = reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
        UINT x = 0;
        UINT y = 0;
        if (getDpi && SUCCEEDED(getDpi(monitor, kEffectiveDpi, &x, &y))) dpi = static_cast<int>(x);
    }
    if (shcore) FreeLibrary(shcore);
    return dpi;
}

std::wstring SettingsFilePath()
{
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE);
    return std::wstring(appData) + L"\\Quorvane\\Plexmoor2\\sph.ini";
}

void SetLogPixels(DWORD dpi)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    RegCloseKey(key);
}

struct ListLayout {
    int client = 0;
    bool scrollBar = false;
    int first = 0;
    int second = 0;
};

ListLayout ReadLayout(HWND dialog, int id)
{
    HWND list = GetDlgItem(dialog, id);
    ListLayout layout;
    RECT client = {};
    GetClientRect(list, &client);
    layout.client = client.right - client.left;
    layout.scrollBar = (GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    layout.first = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    layout.second = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0));
    return layout;
}

constexpr wchar_t kProbeVariable[] = L"PLEXMOOR_DPI_PROBE";

struct ProbedDpi {
    int source = 0;     // what GetDpiForMonitor, else the dialog's DC, answers
    int device = 0;     // LOGPIXELSX of the dialog's DC
    int scrollBar = 0;  // SM_CXVSCROLL
};

// The display settings are read when a process starts, so a process started after the change
// (this program again, on the hidden test below) looks at the browser's dialog for us.
ProbedDpi ProbeFromNewProcess(HWND dialog)
{
    TempFolder scratch;
    const std::wstring output = scratch / L"dpi.txt";
    SetEnvironmentVariableW(kProbeVariable, (std::to_wstring(reinterpret_cast<ULONG_PTR>(dialog)) + L"|" + output).c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ChildProcess probe(Quote(self) + L" --gtest_also_run_disabled_tests --gtest_filter=DpiProbe.DISABLED_Report");
    SetEnvironmentVariableW(kProbeVariable, nullptr);
    probe.Wait(20000);
    ProbedDpi probed;
    std::sscanf(ReadBytes(output).c_str(), "%d %d %d", &probed.source, &probed.device, &probed.scrollBar);
    return probed;
}

class DisplayScaling : public testing::TestWithParam<int> {};

TEST_P(DisplayScaling, RunningBrowserSplitsListsByTheDpiItsSourcesReport)
{
    const int logPixels = GetParam();
    SavedRegistryValue savedDpi(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    SavedFile savedSettings(SettingsFilePath());
    SetLogPixels(static_cast<DWORD>(logPixels));

    ChildProcess browser(Quote(ExecutableDir() + L"\\Plexmoor2.exe"));
    HWND dialog = WaitForProcessWindow(browser.Id(), L"#32770", 20000);
    ASSERT_NE(dialog, nullptr) << "the main dialog never appeared";

    const ProbedDpi dpi = ProbeFromNewProcess(dialog);
    ASSERT_GT(dpi.source, 0) << "the probe process reported nothing";
    EXPECT_EQ(dpi.device, logPixels) << "the display setting did not reach a new process";
    const int reserve =
        static_cast<int>(std::ceil(static_cast<float>(dpi.source) / 96.0f * static_cast<float>(dpi.scrollBar)));
    const struct {
        int id;
        float fraction;
    } lists[] = {{IDC_INFO_LIST, 0.15f}, {IDC_TYPE_LIST, 0.4f}};
    for (const auto& list : lists) {
        const ListLayout layout = ReadLayout(dialog, list.id);
        // Widths are set before the first scan fills rows: no scroll bar was there to pay for.
        const int usable = layout.client - reserve - 1;
        const int first = static_cast<int>(static_cast<float>(usable) * list.fraction);
        EXPECT_EQ(layout.first, first) << list.id;
        EXPECT_EQ(layout.second, usable - first) << list.id;
        std::printf("LogPixels %d: source DPI %d, device DPI %d, SM_CXVSCROLL %d, reserve %d; list %d client %d,"
                    " columns %d + %d\n",
                    logPixels, dpi.source, dpi.device, dpi.scrollBar, reserve, list.id, layout.client, layout.first,
                    layout.second);
    }

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(browser.Wait(10000), 0u);
}

INSTANTIATE_TEST_SUITE_P(LogPixels, DisplayScaling, testing::Values(96, 144));

// Not a test: the probe process of ProbeFromNewProcess.
TEST(DpiProbe, DISABLED_Report)
{
    wchar_t request[1024] = {};
    if (!GetEnvironmentVariableW(kProbeVariable, request, 1024)) return;
    const std::wstring text = request;
    const size_t bar = text.find(L'|');
    ASSERT_NE(bar, std::wstring::npos);
    HWND dialog = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::stoull(text.substr(0, bar))));
    BecomeDpiAware();
    ProbedDpi probed;
    probed.source = SourceDpi(dialog, &probed.device);
    probed.scrollBar = GetSystemMetrics(SM_CXVSCROLL);
    const std::string line = std::to_string(probed.source) + " " + std::to_string(probed.device) + " " +
                             std::to_string(probed.scrollBar);
    WriteBytes(text.substr(bar + 1), line);
}

}  // namespace
