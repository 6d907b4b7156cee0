// F5 scans the shown folder again, whichever control of the dialog has the focus.
#pragma once

#include <windows.h>

// At initialisation: every control of the dialog hands F5 to HandleRefreshKey.
void RouteRefreshKey(HWND dialog);
// True when the key message is F5 (it is then used up). Scans again while the dialog is
// enabled, so never under a plug-in's dialog, a message box or the picker; a held key's
// repeats are ignored, so that plug-ins are not reloaded many times a second.
bool HandleRefreshKey(HWND dialog, UINT message, WPARAM key, LPARAM flags);
