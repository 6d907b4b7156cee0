// The yardstick for start-up: a program of ours that only opens an empty dialog, built and
// linked like Plexmoor2 (static runtime, same manifest, same font).
#include <windows.h>

#include <commctrl.h>

namespace {
INT_PTR CALLBACK EmptyDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    InitCommonControls();
    DialogBoxParamW(instance, MAKEINTRESOURCEW(1), nullptr, EmptyDialogProc, 0);
    return 0;
}
