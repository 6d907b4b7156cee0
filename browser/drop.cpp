#include "drop.h"

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "handles.h"
#include "search.h"
#include "scan.h"

namespace {

// The first dropped path, however long it is; empty when the drop holds none.
std::wstring FirstDroppedPath(HDROP drop)
{
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::wstring();
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) return std::wstring();
    std::vector<wchar_t> path(static_cast<size_t>(length) + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
    return std::wstring(path.data(), std::min(copied, length));
}

// What a drop asks for: the folder to scan, and the entry to select there (empty for a folder).
struct DropTarget {
    std::wstring folder;
    std::wstring entry;
};

// Empty when the path names nothing that can be read.
DropTarget TargetOf(const std::wstring& path)
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return DropTarget();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return DropTarget{path, std::wstring()};
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size()) return DropTarget();
    // At a drive root ("C:\x.sph") the backslash belongs to the folder: "C:" alone would name
    // the drive's current folder.
    const bool driveRoot = slash > 0 && path[slash - 1] == L':';
    return DropTarget{path.substr(0, driveRoot ? slash + 1 : slash), path.substr(slash + 1)};
}

}  // namespace

void OpenDroppedItem(HWND dialog, HDROP drop)
{
    std::wstring path;
    {
        const handles::UniqueDrop owner(drop);
        path = FirstDroppedPath(drop);
    }
    const DropTarget target = IsWindowEnabled(dialog) ? TargetOf(path) : DropTarget();
    // Any other file (a picture, say) keeps the folder shown and asks for the plug-in that reads it.
    if (!target.entry.empty() && lstrcmpiW(PathFindExtensionW(target.entry.c_str()), L".sph") != 0) {
        if (!SelectPluginForFile(dialog, target.entry)) MessageBeep(MB_ICONHAND);
        return;
    }
    if (target.folder.empty() || !CanScanFolder(target.folder)) {
        MessageBeep(MB_ICONHAND);
        return;
    }
    ScanFolder(dialog, target.folder, target.entry);
}
