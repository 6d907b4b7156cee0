// Column widths of the two report lists, scaled to the monitor's DPI.
#pragma once

#include <windows.h>

struct Dpi {
    int x = 96;
    int y = 96;
};

void SetReportColumnWidths(HWND dialog, int controlId, float fraction);
Dpi QueryMonitorDpi(HMONITOR monitor, HWND window);
