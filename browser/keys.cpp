#include "keys.h"

#include <commctrl.h>

#include "scan.h"

namespace {

constexpr UINT_PTR kRefreshSubclass = 1;
// Bits of a key message's lParam.
constexpr LPARAM kAltDown = 1 << 29;
constexpr LPARAM kRepeated = 1 << 30;

// A control's keys never reach the dialog procedure: the dialog manager dispatches them to the
// control itself. Menus and other modal loops keep their keys from the controls altogether.
LRESULT CALLBACK ControlKeys(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR dialog)
{
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, ControlKeys, id);
    } else if (HandleRefreshKey(reinterpret_cast<HWND>(dialog), message, wParam, lParam)) {
        return 0;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

void RouteRefreshKey(HWND dialog)
{
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        SetWindowSubclass(control, ControlKeys, kRefreshSubclass, reinterpret_cast<DWORD_PTR>(dialog));
    }
}

bool HandleRefreshKey(HWND dialog, UINT message, WPARAM key, LPARAM flags)
{
    // With no window focused (a focused button that was just disabled), keys reach the active
    // window as system keys; only Alt makes one a real system key.
    const bool pressed = message == WM_KEYDOWN || (message == WM_SYSKEYDOWN && (flags & kAltDown) == 0);
    if (!pressed || key != VK_F5) return false;
    if ((flags & kRepeated) == 0 && IsWindowEnabled(dialog)) RescanFolder(dialog);
    return true;
}
