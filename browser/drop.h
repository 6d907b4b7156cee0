// Plug-in files and folders dropped on the dialog from Explorer.
#pragma once

#include <windows.h>

#include <shellapi.h>

// The first dropped item only: a folder is scanned; a plug-in file's folder is scanned with that
// file selected when the list holds it; any other file (a picture) keeps the folder and selects
// the first plug-in of the list that reads it, or beeps when none does. A path that cannot be
// listed, or a drop while the dialog is disabled (a plug-in's dialog, a message box or the
// picker is up), beeps and changes nothing. Takes the drop over and finishes it on every path.
void OpenDroppedItem(HWND dialog, HDROP drop);
