// Extension patterns and format names of the file-type list to the clipboard.
#pragma once

#include <windows.h>

#include <string>

struct ListViewText {
    std::wstring text;
    bool ok = false;  // an empty cell reads as ok with empty text
};

void CopyAllExtensions(HWND typeList);
void CopyTypeCell(HWND typeList, int row, int column);
ListViewText GetListViewItemText(HWND list, int row, int column);
bool SetClipboardText(const std::wstring& text);
