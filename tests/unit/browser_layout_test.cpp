#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "dialog.h"
#include "fixture_log.h"
#include "handles.h"
#include "intercept.h"
#include "layout.h"
#include "module.h"
#include "resource.h"
#include "scratch.h"

namespace {

// Each DPI source answers with its own value, so a result tells which source gave it.
constexpr int kShcoreDpi = 144;
constexpr int kWindowDcDpi = 120;
constexpr int kScreenDcDpi = 168;
constexpr int kMonitorDcDpi = 192;

enum class Shcore { Answers, Missing, NoExport, Fails };
// Whether user32 offers GetSystemMetricsForDpi (Windows 10 1607 and later), and what it says.
enum class MetricsForDpi { Missing, Answers };

struct SourceState {
    Shcore shcore = Shcore::Answers;
    int shcoreDpi = kShcoreDpi;
    bool noMonitor = false;
    bool windowDcFails = false;
    bool screenDcFails = false;
    bool monitorDcFails = false;
    bool systemDirectoryFails = false;
    MetricsForDpi metricsForDpi = MetricsForDpi::Missing;
    int scrollBarForDpi = 0;
    // The system DPI, which the screen's DC tells, and the scroll-bar width GetSystemMetrics
    // gives for it (0: the real one).
    int screenDcDpi = 96;
    int systemScrollBar = 0;

    std::vector<UINT> metricsDpis;
    std::vector<std::wstring> libraryLoads;
    int shcoreLoaded = 0;
    int librariesFreed = 0;
    std::vector<HWND> getDcWindows;
    int monitorDcs = 0;
    std::map<HDC, int> dcDpi;
};
SourceState* g_state = nullptr;

void* g_realLoadLibrary = nullptr;
void* g_realFreeLibrary = nullptr;
void* g_realGetProcAddress = nullptr;
void* g_realGetSystemDirectory = nullptr;
void* g_realMonitorFromWindow = nullptr;
void* g_realGetDC = nullptr;
void* g_realGetDeviceCaps = nullptr;
void* g_realCreateDC = nullptr;
void* g_realGetSystemMetrics = nullptr;

template <typename Fn>
Fn Real(void* address)
{
    return reinterpret_cast<Fn>(address);
}

bool IsShcorePath(const wchar_t* path)
{
    const std::wstring text = path ? path : L"";
    return text.size() >= 10 && _wcsicmp(text.c_str() + text.size() - 10, L"Shcore.dll") == 0;
}

HMODULE WINAPI FakeLoadLibraryW(LPCWSTR path)
{
    g_state->libraryLoads.push_back(path ? path : L"");
    if (IsShcorePath(path) && g_state->shcore == Shcore::Missing) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = Real<decltype(&LoadLibraryW)>(g_realLoadLibrary)(path);
    if (module && IsShcorePath(path)) ++g_state->shcoreLoaded;
    return module;
}

BOOL WINAPI FakeFreeLibrary(HMODULE module)
{
    ++g_state->librariesFreed;
    return Real<decltype(&FreeLibrary)>(g_realFreeLibrary)(module);
}

HRESULT WINAPI AnsweringGetDpiForMonitor(HMONITOR, int, UINT* x, UINT* y)
{
    *x = static_cast<UINT>(g_state->shcoreDpi);
    *y = static_cast<UINT>(g_state->shcoreDpi);
    return S_OK;
}

HRESULT WINAPI FailingGetDpiForMonitor(HMONITOR, int, UINT* x, UINT* y)
{
    *x = 999;
    *y = 999;
    return E_INVALIDARG;
}

int WINAPI AnsweringGetSystemMetricsForDpi(int index, UINT dpi)
{
    g_state->metricsDpis.push_back(dpi);
    return index == SM_CXVSCROLL ? g_state->scrollBarForDpi : 0;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name)
{
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::string(name) == "GetSystemMetricsForDpi") {
        if (g_state->metricsForDpi == MetricsForDpi::Missing) return nullptr;
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&AnsweringGetSystemMetricsForDpi));
    }
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::string(name) == "GetDpiForMonitor") {
        switch (g_state->shcore) {
        case Shcore::NoExport: return nullptr;
        case Shcore::Fails: return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FailingGetDpiForMonitor));
        default: return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&AnsweringGetDpiForMonitor));
        }
    }
    return Real<decltype(&GetProcAddress)>(g_realGetProcAddress)(module, name);
}

UINT WINAPI FakeGetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    if (g_state->systemDirectoryFails) return 0;
    return Real<decltype(&GetSystemDirectoryW)>(g_realGetSystemDirectory)(buffer, size);
}

HMONITOR WINAPI FakeMonitorFromWindow(HWND window, DWORD flags)
{
    if (g_state->noMonitor) return nullptr;
    return Real<decltype(&MonitorFromWindow)>(g_realMonitorFromWindow)(window, flags);
}

HDC WINAPI FakeGetDC(HWND window)
{
    g_state->getDcWindows.push_back(window);
    if (window ? g_state->windowDcFails : g_state->screenDcFails) return nullptr;
    HDC dc = Real<decltype(&GetDC)>(g_realGetDC)(window);
    // DCs come from a cache: the same handle may serve the window and then the screen.
    if (dc) g_state->dcDpi[dc] = window ? kWindowDcDpi : g_state->screenDcDpi;
    return dc;
}

HDC WINAPI FakeCreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* mode)
{
    ++g_state->monitorDcs;
    if (g_state->monitorDcFails || !driver || !*driver) return nullptr;
    HDC dc = Real<decltype(&CreateDCW)>(g_realCreateDC)(driver, device, output, mode);
    if (dc) g_state->dcDpi[dc] = kMonitorDcDpi;
    return dc;
}

int WINAPI FakeGetSystemMetrics(int index)
{
    if (index == SM_CXVSCROLL && g_state->systemScrollBar) return g_state->systemScrollBar;
    return Real<decltype(&GetSystemMetrics)>(g_realGetSystemMetrics)(index);
}

int WINAPI FakeGetDeviceCaps(HDC dc, int index)
{
    auto known = g_state->dcDpi.find(dc);
    if (known != g_state->dcDpi.end() && (index == LOGPIXELSX || index == LOGPIXELSY)) return known->second;
    return Real<decltype(&GetDeviceCaps)>(g_realGetDeviceCaps)(dc, index);
}

// Puts every DPI source of the column layout under the test's control while it lives.
class DpiSources {
public:
    DpiSources()
    {
        g_state = &state;
        g_realLoadLibrary = PatchImport("kernel32.dll", "LoadLibraryW", reinterpret_cast<void*>(&FakeLoadLibraryW));
        g_realFreeLibrary = PatchImport("kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&FakeFreeLibrary));
        g_realGetProcAddress =
            PatchImport("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress));
        g_realGetSystemDirectory =
            PatchImport("kernel32.dll", "GetSystemDirectoryW", reinterpret_cast<void*>(&FakeGetSystemDirectoryW));
        g_realMonitorFromWindow =
            PatchImport("user32.dll", "MonitorFromWindow", reinterpret_cast<void*>(&FakeMonitorFromWindow));
        g_realGetDC = PatchImport("user32.dll", "GetDC", reinterpret_cast<void*>(&FakeGetDC));
        g_realCreateDC = PatchImport("gdi32.dll", "CreateDCW", reinterpret_cast<void*>(&FakeCreateDCW));
        g_realGetDeviceCaps = PatchImport("gdi32.dll", "GetDeviceCaps", reinterpret_cast<void*>(&FakeGetDeviceCaps));
        g_realGetSystemMetrics =
            PatchImport("user32.dll", "GetSystemMetrics", reinterpret_cast<void*>(&FakeGetSystemMetrics));
    }
    ~DpiSources()
    {
        PatchImport("kernel32.dll", "LoadLibraryW", g_realLoadLibrary);
        PatchImport("kernel32.dll", "FreeLibrary", g_realFreeLibrary);
        PatchImport("kernel32.dll", "GetProcAddress", g_realGetProcAddress);
        PatchImport("kernel32.dll", "GetSystemDirectoryW", g_realGetSystemDirectory);
        PatchImport("user32.dll", "MonitorFromWindow", g_realMonitorFromWindow);
        PatchImport("user32.dll", "GetDC", g_realGetDC);
        PatchImport("gdi32.dll", "CreateDCW", g_realCreateDC);
        PatchImport("gdi32.dll", "GetDeviceCaps", g_realGetDeviceCaps);
        PatchImport("user32.dll", "GetSystemMetrics", g_realGetSystemMetrics);
        g_state = nullptr;
    }
    bool AllPatched() const
    {
        return g_realLoadLibrary && g_realFreeLibrary && g_realGetProcAddress && g_realGetSystemDirectory &&
               g_realMonitorFromWindow && g_realGetDC && g_realCreateDC && g_realGetDeviceCaps && g_realGetSystemMetrics;
    }

    SourceState state;
};

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Resizes a list so that its client area is exactly clientWidth pixels wide; gives that width.
int SetClientWidth(HWND list, int clientWidth)
{
    RECT window = {};
    RECT client = {};
    GetWindowRect(list, &window);
    GetClientRect(list, &client);
    const int frame = (window.right - window.left) - client.right;
    SetWindowPos(list, nullptr, 0, 0, clientWidth + frame, window.bottom - window.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(list, &client);
    return client.right;
}

int ColumnWidth(HWND list, int column) { return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)); }

struct Columns {
    int first;
    int second;
};

class ColumnLayout : public testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        dialog_ = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, PlainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        for (int id : {IDC_INFO_LIST, IDC_TYPE_LIST}) {
            for (int column = 0; column < 2; ++column) {
                LVCOLUMNW record = {};
                record.mask = LVCF_WIDTH | LVCF_TEXT;
                record.cx = 50;
                record.pszText = const_cast<wchar_t*>(L"列");
                SendDlgItemMessageW(dialog_, id, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                                    reinterpret_cast<LPARAM>(&record));
            }
        }
        ASSERT_EQ(GetSystemMetrics(SM_CXVSCROLL), 17) << "the worked figures assume the standard scroll bar";
    }
    void TearDown() override
    {
        if (dialog_) DestroyWindow(dialog_);
    }

    HWND List(int id) const { return GetDlgItem(dialog_, id); }

    // Resizes the list so that its client area is exactly clientWidth pixels wide.
    void SetClientWidth(int id, int clientWidth) { ASSERT_EQ(::SetClientWidth(List(id), clientWidth), clientWidth); }

    void AddRows(int id, int count)
    {
        for (int i = 0; i < count; ++i) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.pszText = const_cast<wchar_t*>(L"*.bmp");
            SendMessageW(List(id), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }

    bool HasScrollBar(int id) const { return (GetWindowLongPtrW(List(id), GWL_STYLE) & WS_VSCROLL) != 0; }

    Columns Widths(int id) const
    {
        return {static_cast<int>(SendMessageW(List(id), LVM_GETCOLUMNWIDTH, 0, 0)),
                static_cast<int>(SendMessageW(List(id), LVM_GETCOLUMNWIDTH, 1, 0))};
    }

    Columns Layout(int id, float fraction)
    {
        SetReportColumnWidths(dialog_, id, fraction);
        return Widths(id);
    }

    HWND dialog_ = nullptr;
};

TEST_F(ColumnLayout, WorkedFiguresAt96DpiWithoutScrollBar)
{
    DpiSources sources;
    ASSERT_TRUE(sources.AllPatched());
    sources.state.shcoreDpi = 96;
    SetClientWidth(IDC_INFO_LIST, 646);
    SetClientWidth(IDC_TYPE_LIST, 646);
    ASSERT_FALSE(HasScrollBar(IDC_INFO_LIST));

    const Columns info = Layout(IDC_INFO_LIST, 0.15f);
    EXPECT_EQ(info.first, 94);  // 628 x 0.15 = 94.2, cut toward zero
    EXPECT_EQ(info.second, 534);
    const Columns types = Layout(IDC_TYPE_LIST, 0.4f);
    EXPECT_EQ(types.first, 251);
    EXPECT_EQ(types.second, 377);
}

TEST_F(ColumnLayout, ListShowingScrollBarReservesNothingAndAsksNoDpi)
{
    AddRows(IDC_INFO_LIST, 60);
    AddRows(IDC_TYPE_LIST, 60);
    ASSERT_TRUE(HasScrollBar(IDC_INFO_LIST));
    ASSERT_TRUE(HasScrollBar(IDC_TYPE_LIST));
    SetClientWidth(IDC_INFO_LIST, 646);
    SetClientWidth(IDC_TYPE_LIST, 646);

    DpiSources sources;
    const Columns info = Layout(IDC_INFO_LIST, 0.15f);
    const Columns types = Layout(IDC_TYPE_LIST, 0.4f);
    EXPECT_EQ(info.first, 96);
    EXPECT_EQ(info.second, 549);
    EXPECT_EQ(types.first, 258);
    EXPECT_EQ(types.second, 387);
    EXPECT_TRUE(sources.state.libraryLoads.empty());
    EXPECT_TRUE(sources.state.getDcWindows.empty());
}

TEST_F(ColumnLayout, ReserveIsScrollBarScaledToMonitorDpiRoundedUp)
{
    DpiSources sources;
    SetClientWidth(IDC_TYPE_LIST, 646);
    const struct {
        int dpi;
        int first;
        int second;
    } cases[] = {{96, 251, 377}, {120, 249, 374}, {144, 247, 372}, {168, 246, 369}, {192, 244, 367}};
    for (const auto& c : cases) {
        sources.state.shcoreDpi = c.dpi;
        const Columns types = Layout(IDC_TYPE_LIST, 0.4f);
        EXPECT_EQ(types.first, c.first) << c.dpi << " DPI";
        EXPECT_EQ(types.second, c.second) << c.dpi << " DPI";
    }
}

// In a per-monitor-aware process GetSystemMetrics is already scaled to the system DPI: where
// user32 can say the width for the monitor's DPI, that width is the reserve, unscaled.
TEST_F(ColumnLayout, WhereUser32KnowsTheScrollBarForTheMonitorsDpiThatIsTheReserve)
{
    DpiSources sources;
    sources.state.metricsForDpi = MetricsForDpi::Answers;
    sources.state.scrollBarForDpi = 25;
    sources.state.shcoreDpi = 144;
    SetClientWidth(IDC_TYPE_LIST, 646);
    const Columns types = Layout(IDC_TYPE_LIST, 0.4f);
    EXPECT_EQ(types.first, 248);
    EXPECT_EQ(types.second, 372);
    EXPECT_EQ(sources.state.metricsDpis, std::vector<UINT>{144});
}

// Without GetSystemMetricsForDpi (Windows 7 to 10 1511), GetSystemMetrics is already scaled to
// the system DPI: scaling it from 96 again would leave an empty strip. Only a monitor whose DPI
// differs from the system's scales it further.
TEST_F(ColumnLayout, WithoutPerDpiMetricsOnlyTheStepFromSystemToMonitorDpiIsScaled)
{
    DpiSources sources;
    sources.state.screenDcDpi = 144;
    sources.state.systemScrollBar = 26;
    SetClientWidth(IDC_TYPE_LIST, 646);
    const struct {
        int monitorDpi;
        int reserve;
    } cases[] = {{144, 26}, {192, 35}};  // 26 x 192 / 144 = 34.67
    for (const auto& c : cases) {
        sources.state.shcoreDpi = c.monitorDpi;
        const Columns types = Layout(IDC_TYPE_LIST, 0.4f);
        EXPECT_EQ(types.first + types.second, 646 - c.reserve - 1) << c.monitorDpi << " DPI";
    }
}

TEST_F(ColumnLayout, ColumnsAlwaysAddUpToUsableWidth)
{
    DpiSources sources;
    sources.state.shcoreDpi = 144;
    // Usable width: the client width less 26 for the scroll bar at 144 DPI and 1.
    const struct {
        int width;
        int firsts[3];
    } cases[] = {{100, {10, 29, 24}}, {333, {45, 122, 101}}, {646, {92, 247, 206}}, {777, {112, 300, 249}},
                 {1001, {146, 389, 324}}};
    const float fractions[] = {0.15f, 0.4f, 0.333f};
    for (const auto& c : cases) {
        SetClientWidth(IDC_INFO_LIST, c.width);
        for (int i = 0; i < 3; ++i) {
            const Columns columns = Layout(IDC_INFO_LIST, fractions[i]);
            EXPECT_EQ(columns.first, c.firsts[i]) << c.width << " x " << fractions[i];
            EXPECT_EQ(columns.first + columns.second, c.width - 27) << c.width << " x " << fractions[i];
        }
    }
}

// The browser's own dialog, laid out at start-up on a plug-in with three types, then refilled
// by inspecting one with 32: the scroll bar that appears takes its room from the second column.
TEST(LaidOutDialog, RowsAddedLaterKeepTheWidths)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SettingsSandbox settings;
    TempFolder folder;
    ASSERT_TRUE(CopyFileW(FixturePath(L"ordinary.sph").c_str(), (folder / L"a.sph").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(FixturePath(L"types40.sph").c_str(), (folder / L"b.sph").c_str(), FALSE));
    settings.WriteHistory({folder.Path()});
    HWND dialog = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, BrowserDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, IDC_TYPE_LIST);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    const int before[] = {static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0)),
                          static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0))};

    HWND plugins = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    SendMessageW(plugins, LB_SETCURSEL, 1, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(plugins));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 32);
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), before[0]);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), before[1]);
    DestroyWindow(dialog);
}

// A move to a monitor of 144 DPI as Windows makes it: WM_DPICHANGED, then the default handling
// gives the dialog and its lists their new sizes. The columns must fill the new lists.
TEST(LaidOutDialog, ADpiChangeLaysTheColumnsOutForTheListsNewSize)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SettingsSandbox settings;
    TempFolder empty;
    settings.WriteHistory({empty.Path()});
    DpiSources sources;
    sources.state.shcoreDpi = 96;
    HWND dialog = CreateDialogParamW(GetInstanceHandle(), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, BrowserDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    const auto destroy = handles::MakeScopeGuard([dialog] { DestroyWindow(dialog); });

    sources.state.shcoreDpi = 144;
    RECT suggested = {0, 0, 1464, 1000};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    HWND info = GetDlgItem(dialog, IDC_INFO_LIST);
    HWND types = GetDlgItem(dialog, IDC_TYPE_LIST);
    ASSERT_EQ(SetClientWidth(info, 969), 969);
    ASSERT_EQ(SetClientWidth(types, 969), 969);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);

    // 969 less 26 for the scroll bar at 144 DPI and 1: 942.
    EXPECT_EQ(ColumnWidth(info, 0), 141);
    EXPECT_EQ(ColumnWidth(info, 1), 801);
    EXPECT_EQ(ColumnWidth(types, 0), 376);
    EXPECT_EQ(ColumnWidth(types, 1), 566);
}

TEST_F(ColumnLayout, ShcoreIsLoadedFromSystemDirectoryAndFreedEachTime)
{
    DpiSources sources;
    SetClientWidth(IDC_INFO_LIST, 646);
    Layout(IDC_INFO_LIST, 0.15f);
    Layout(IDC_INFO_LIST, 0.15f);

    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_EQ(sources.state.libraryLoads.size(), 2u);
    for (const std::wstring& path : sources.state.libraryLoads) {
        EXPECT_EQ(_wcsicmp(path.c_str(), (std::wstring(system) + L"\\Shcore.dll").c_str()), 0) << path;
    }
    EXPECT_EQ(sources.state.librariesFreed, sources.state.shcoreLoaded);
    // The screen's DC may still tell the system DPI that GetSystemMetrics is scaled to.
    EXPECT_EQ(std::count(sources.state.getDcWindows.begin(), sources.state.getDcWindows.end(), dialog_), 0)
        << "an answering GetDpiForMonitor ends the search";
}

TEST_F(ColumnLayout, WithoutUsableGetDpiForMonitorTheDialogsDcDecides)
{
    for (Shcore shcore : {Shcore::Missing, Shcore::NoExport, Shcore::Fails}) {
        DpiSources sources;
        sources.state.shcore = shcore;
        const Dpi dpi = QueryMonitorDpi(MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY), dialog_);
        EXPECT_EQ(dpi.x, kWindowDcDpi) << static_cast<int>(shcore);
        EXPECT_EQ(dpi.y, kWindowDcDpi);
        ASSERT_FALSE(sources.state.getDcWindows.empty());
        EXPECT_EQ(sources.state.getDcWindows.front(), dialog_);
        EXPECT_EQ(sources.state.librariesFreed, sources.state.shcoreLoaded);
    }
    {
        DpiSources sources;
        sources.state.shcore = Shcore::Missing;
        SetClientWidth(IDC_INFO_LIST, 646);
        const Columns info = Layout(IDC_INFO_LIST, 0.15f);
        EXPECT_EQ(info.first + info.second, 646 - 22 - 1);  // 120 DPI from the dialog's DC
    }
}

TEST_F(ColumnLayout, DialogOnNoMonitorSkipsShcoreAndUsesItsDc)
{
    DpiSources sources;
    sources.state.noMonitor = true;
    SetClientWidth(IDC_INFO_LIST, 646);
    const Columns info = Layout(IDC_INFO_LIST, 0.15f);
    EXPECT_EQ(info.first + info.second, 646 - 22 - 1);
    EXPECT_TRUE(sources.state.libraryLoads.empty());
    EXPECT_EQ(sources.state.monitorDcs, 0);
}

TEST_F(ColumnLayout, DeviceContextFallbacksInOrder)
{
    HMONITOR monitor = MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY);
    {
        SCOPED_TRACE("dialog's DC fails: the screen's");
        DpiSources sources;
        sources.state.screenDcDpi = kScreenDcDpi;
        sources.state.shcore = Shcore::Fails;
        sources.state.windowDcFails = true;
        EXPECT_EQ(QueryMonitorDpi(monitor, dialog_).x, kScreenDcDpi);
        EXPECT_EQ(sources.state.getDcWindows, (std::vector<HWND>{dialog_, nullptr}));
    }
    {
        SCOPED_TRACE("both window DCs fail: the monitor's display device");
        DpiSources sources;
        sources.state.shcore = Shcore::Missing;
        sources.state.windowDcFails = true;
        sources.state.screenDcFails = true;
        EXPECT_EQ(QueryMonitorDpi(monitor, dialog_).x, kMonitorDcDpi);
        EXPECT_EQ(sources.state.monitorDcs, 1);
    }
    {
        SCOPED_TRACE("a monitor and no window: straight to the display device");
        DpiSources sources;
        sources.state.shcore = Shcore::NoExport;
        EXPECT_EQ(QueryMonitorDpi(monitor, nullptr).x, kMonitorDcDpi);
        EXPECT_TRUE(sources.state.getDcWindows.empty());
    }
    {
        SCOPED_TRACE("no monitor and no window: the screen's DC");
        DpiSources sources;
        sources.state.screenDcDpi = kScreenDcDpi;
        EXPECT_EQ(QueryMonitorDpi(nullptr, nullptr).x, kScreenDcDpi);
        EXPECT_TRUE(sources.state.libraryLoads.empty());
    }
}

TEST_F(ColumnLayout, EverySourceFailingGives96)
{
    DpiSources sources;
    sources.state.shcore = Shcore::Missing;
    sources.state.windowDcFails = true;
    sources.state.screenDcFails = true;
    sources.state.monitorDcFails = true;
    HMONITOR monitor = MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY);
    const Dpi dpi = QueryMonitorDpi(monitor, dialog_);
    EXPECT_EQ(dpi.x, 96);
    EXPECT_EQ(dpi.y, 96);

    const int monitorDcsBefore = sources.state.monitorDcs;
    EXPECT_EQ(QueryMonitorDpi(nullptr, dialog_).x, 96);
    EXPECT_EQ(sources.state.monitorDcs, monitorDcsBefore) << "no monitor, no display device to ask";

    SetClientWidth(IDC_INFO_LIST, 646);
    const Columns info = Layout(IDC_INFO_LIST, 0.15f);
    EXPECT_EQ(info.first, 94);
    EXPECT_EQ(info.second, 534);
}

TEST(ShcoreLibrary, LoadsFromSystemDirectoryOrNotAtAll)
{
    {
        const handles::UniqueLibrary shcore = LoadSystemLibrary(L"Shcore.dll");
        ASSERT_NE(shcore, nullptr);
        wchar_t loaded[MAX_PATH] = {};
        GetModuleFileNameW(shcore.get(), loaded, MAX_PATH);
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        EXPECT_EQ(_wcsicmp(loaded, (std::wstring(system) + L"\\shcore.dll").c_str()), 0) << loaded;
    }

    DpiSources sources;
    sources.state.systemDirectoryFails = true;
    EXPECT_EQ(LoadSystemLibrary(L"Shcore.dll"), nullptr);
    EXPECT_TRUE(sources.state.libraryLoads.empty()) << "never through the search order";
}

}  // namespace
