// The main dialog: its procedure and the one flag it keeps.
#pragma once

#include <windows.h>

INT_PTR CALLBACK BrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ListReady is bit 0 of the dialog's DWLP_USER slot: clear while a scan refills the plug-in
// list, so that the selection changes it causes are not taken for the user's.
inline bool IsListReady(HWND dialog)
{
    return (GetWindowLongPtrW(dialog, DWLP_USER) & 1) != 0;
}

inline void SetListReady(HWND dialog, bool ready)
{
    LONG_PTR value = GetWindowLongPtrW(dialog, DWLP_USER);
    value = ready ? (value | 1) : (value & ~static_cast<LONG_PTR>(1));
    SetWindowLongPtrW(dialog, DWLP_USER, value);
}
