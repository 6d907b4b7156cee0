#include "clipboard.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

#include "handles.h"
#include "message.h"
#include "resource.h"

namespace {

constexpr size_t kFirstCellBufferChars = 256;
constexpr size_t kMaxCellBufferChars = 0x7FFFFFFF;
// Clipboard history, remote desktop and clipboard managers hold the clipboard for a moment
// after each change: a copy waits up to 200 ms for them before it counts as failed.
constexpr int kOpenAttempts = 5;
constexpr DWORD kOpenRetryMs = 50;

int ItemCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

bool OpenClipboardSoon(HWND owner)
{
    for (int attempt = 1; !OpenClipboard(owner); ++attempt) {
        if (attempt == kOpenAttempts) return false;
        Sleep(kOpenRetryMs);
    }
    return true;
}

// The clipboard is held open only while it is emptied and filled, never across a message box.
bool PutTextOnClipboard(HWND owner, const std::wstring& text)
{
    if (!OpenClipboardSoon(owner)) return false;
    EmptyClipboard();
    const bool taken = SetClipboardText(text);
    CloseClipboard();
    return taken;
}

}  // namespace

ListViewText GetListViewItemText(HWND list, int row, int column)
{
    ListViewText result;
    try {
        std::vector<wchar_t> buffer(kFirstCellBufferChars, L'\0');
        for (;;) {
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = buffer.data();
            item.cchTextMax = static_cast<int>(buffer.size());
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            buffer.back() = L'\0';
            const size_t length = static_cast<size_t>(std::find(buffer.begin(), buffer.end(), L'\0') - buffer.begin());
            // A full buffer cannot tell a text that fits exactly from one that was cut.
            if (length == buffer.size() - 1) {
                if (buffer.size() * 2 > kMaxCellBufferChars) return result;
                buffer.resize(buffer.size() * 2, L'\0');
                continue;
            }
            result.text.assign(buffer.data(), length);
            result.ok = true;
            return result;
        }
    } catch (const std::exception&) {
        return ListViewText();
    }
}

bool SetClipboardText(const std::wstring& text)
{
    handles::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (text.size() + 1) * sizeof(wchar_t)));
    if (!block) return false;
    const size_t capacity = GlobalSize(block.get()) / sizeof(wchar_t);
    auto* target = static_cast<wchar_t*>(GlobalLock(block.get()));
    if (!target) return false;
    wcsncpy_s(target, capacity, text.c_str(), text.size());
    GlobalUnlock(block.get());
    if (!SetClipboardData(CF_UNICODETEXT, block.get())) return false;
    // From here on the clipboard owns the block.
    block.release();
    return true;
}

void CopyAllExtensions(HWND typeList)
{
    try {
        const int count = ItemCount(typeList);
        // A plain string, not a wide stream: the stream's locale machinery alone would make
        // the program several times larger. Running out of memory throws and ends in the beep.
        std::wstring joined;
        bool first = true;
        for (int row = 0; row < count; ++row) {
            const ListViewText cell = GetListViewItemText(typeList, row, 0);
            if (!cell.ok) continue;
            if (!first) joined += L';';
            joined += cell.text;
            first = false;
        }
        if (PutTextOnClipboard(typeList, joined)) {
            ShowInfoMessage(typeList, IDS_COPIED_ALL_EXTENSIONS);
            return;
        }
    } catch (const std::exception&) {
    }
    MessageBeep(MB_ICONHAND);
}

void CopyTypeCell(HWND typeList, int row, int column)
{
    try {
        if (row >= 0 && row < ItemCount(typeList)) {
            const ListViewText cell = GetListViewItemText(typeList, row, column);
            if (cell.ok && PutTextOnClipboard(typeList, cell.text)) {
                ShowInfoMessage(typeList, column == 0 ? IDS_COPIED_EXTENSION : IDS_COPIED_FORMAT_NAME);
                return;
            }
        }
    } catch (const std::exception&) {
    }
    MessageBeep(MB_ICONHAND);
}
