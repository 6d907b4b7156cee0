// The mark a folder scan leaves in the settings folder while it inspects the selected plug-in on
// its own, and what later scans make of a mark whose browser ended in that inspection.
//
// A plug-in whose about call overflows the stack, fails fast, calls exit() or never returns ends
// the browser beyond any fault handler. Without the mark, every later start would meet the same
// plug-in in the same start-up inspection and end the same way.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a scan runs instead of the plain inspection of the selected plug-in: the inspection under
// a mark of this process, or, when a browser that no longer runs left a mark naming that
// plug-in, no load at all and one line in the view that says why.
void InspectSelectionOfScan(HWND dialog);

// After the user's own selection was inspected and returned: the marks that name that plug-in go.
void ForgetLostStartsOfSelection(HWND dialog);

// The plug-ins that lost starts hold back, by full path, for a search that must not load them:
// only a load tells what such a plug-in claims, and that load may end the browser again. Marks
// are only read, none is removed.
std::vector<std::wstring> HeldBackPlugins(HWND dialog);
bool IsHeldBack(const std::vector<std::wstring>& heldBack, const std::wstring& plugin);
