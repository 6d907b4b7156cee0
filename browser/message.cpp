#include "message.h"

#include "module.h"

const wchar_t* GetProductTitle() { return GetVersionString(L"ProductName", L"Plexmoor2"); }

HWND GetTopLevelWindow(HWND window)
{
    HWND last = window;
    for (HWND next = GetParent(window); next; next = GetParent(next)) last = next;
    return last;
}

int ShowInfoMessage(HWND window, UINT stringId)
{
    const std::wstring text = LoadResourceString(stringId);
    HWND parent = GetParent(window);
    HWND owner = parent ? GetTopLevelWindow(parent) : window;
    return MessageBoxW(owner, text.c_str(), GetProductTitle(), MB_OK);
}
