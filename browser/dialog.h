// The main dialog: its procedure, which routes each message to the area that handles it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK BrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
