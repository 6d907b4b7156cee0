#include "layout.h"

#include <commctrl.h>

#include <cmath>

#include "handles.h"
#include "module.h"
#include "plugin.h"

namespace {

constexpr float kReferenceDpi = 96.0f;

// shellscalingapi.h declares these only for Windows 8.1 targets; Vista and 7 have no Shcore.dll.
constexpr int kMonitorEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);

Dpi ReadDeviceDpi(HDC dc)
{
    Dpi dpi;
    dpi.x = GetDeviceCaps(dc, LOGPIXELSX);
    dpi.y = GetDeviceCaps(dc, LOGPIXELSY);
    return dpi;
}

bool QueryShcoreDpi(HMONITOR monitor, Dpi& dpi)
{
    const handles::UniqueLibrary shcore = LoadSystemLibrary(L"Shcore.dll");
    if (!shcore) return false;
    auto getDpiForMonitor = GetPluginExport<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
    if (!getDpiForMonitor) return false;
    UINT x = 0;
    UINT y = 0;
    if (FAILED(getDpiForMonitor(monitor, kMonitorEffectiveDpi, &x, &y))) return false;
    dpi.x = static_cast<int>(x);
    dpi.y = static_cast<int>(y);
    return true;
}

// The window's DC, else the screen's.
bool QueryWindowDpi(HWND window, Dpi& dpi)
{
    {
        handles::WindowDC dc(window);
        if (dc.get()) {
            dpi = ReadDeviceDpi(dc.get());
            return true;
        }
    }
    handles::WindowDC screen(nullptr);
    if (!screen.get()) return false;
    dpi = ReadDeviceDpi(screen.get());
    return true;
}

bool QueryDisplayDeviceDpi(HMONITOR monitor, Dpi& dpi)
{
    MONITORINFOEXW info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) return false;
    handles::UniqueCreatedDC dc(CreateDCW(info.szDevice, nullptr, nullptr, nullptr));
    if (!dc) return false;
    dpi = ReadDeviceDpi(dc.get());
    return true;
}

// Windows 10 1607 and later. A per-monitor-aware process gets GetSystemMetrics already scaled
// to the system DPI, so scaling that again would count the system's factor twice.
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int index, UINT dpi);

int ScrollBarReserve(HWND dialog, HWND list)
{
    // A list that already shows its scroll bar has paid for it in its client width.
    if (GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL) return 0;
    const Dpi dpi = QueryMonitorDpi(MonitorFromWindow(dialog, MONITOR_DEFAULTTONULL), dialog);
    const auto getSystemMetricsForDpi =
        GetPluginExport<GetSystemMetricsForDpiFn>(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi && dpi.x > 0) return getSystemMetricsForDpi(SM_CXVSCROLL, static_cast<UINT>(dpi.x));
    // Without it (Windows 7 to 10 1511) a DPI-aware process gets the width already scaled to
    // the system DPI, the screen's: only the step from there to the monitor's DPI is left.
    const int systemDpi = QueryMonitorDpi(nullptr, nullptr).x;
    const float scale = static_cast<float>(dpi.x) / (systemDpi > 0 ? static_cast<float>(systemDpi) : kReferenceDpi);
    const float width = scale * static_cast<float>(GetSystemMetrics(SM_CXVSCROLL));
    return static_cast<int>(std::ceil(width));
}

void SetColumnWidth(HWND list, int column, int width)
{
    LVCOLUMNW record = {};
    record.mask = LVCF_WIDTH | LVCF_SUBITEM;
    record.cx = width;
    record.iSubItem = column;
    SendMessageW(list, LVM_SETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&record));
}

}  // namespace

void SetReportColumnWidths(HWND dialog, int controlId, float fraction)
{
    HWND list = GetDlgItem(dialog, controlId);
    const int reserve = ScrollBarReserve(dialog, list);
    RECT client = {};
    GetClientRect(list, &client);
    const int usable = (client.right - client.left) - reserve - 1;
    const int first = static_cast<int>(static_cast<float>(usable) * fraction);
    SetColumnWidth(list, 0, first);
    SetColumnWidth(list, 1, usable - first);
}

Dpi QueryMonitorDpi(HMONITOR monitor, HWND window)
{
    Dpi dpi;
    if (monitor && QueryShcoreDpi(monitor, dpi)) return dpi;
    if (window || !monitor) {
        if (QueryWindowDpi(window, dpi)) return dpi;
        if (!monitor) return Dpi{};
    }
    if (QueryDisplayDeviceDpi(monitor, dpi)) return dpi;
    return Dpi{};
}
