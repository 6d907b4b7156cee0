// Captions and confirmation boxes of the browser.
#pragma once

#include <windows.h>

// "ProductName" of the version resource, else "Plexmoor2"; looked up on every use.
const wchar_t* GetProductTitle();

// The last non-null window of the GetParent chain starting at window.
HWND GetTopLevelWindow(HWND window);

// A string-table text in an OK box owned by the top-level window above window's parent.
int ShowInfoMessage(HWND window, UINT stringId);
