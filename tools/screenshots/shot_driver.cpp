// Drives Plexmoor2 and Plexmoor1 from outside, inside one Wine desktop, and saves a picture
// of each state the user guide shows: the screen area around the windows concerned, as a
// 24-bit BMP that scripts/screenshots.sh converts to PNG.
//
// Usage: shot_driver <output folder> <Plexmoor2.exe> <Plexmoor1.exe> <plug-in file name>
// Writes <output folder>\driver.log; its last line is "done <number of failures>".
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"
#include "process_ui.h"
#include "resource.h"
#include "scratch.h"

namespace {

constexpr int kShadowMargin = 12;  // room for the frame's edge and a little desktop around it

struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer<HBITMAP>::type, GdiObjectDeleter>;

std::wstring g_outDir;
int g_failures = 0;

void Log(const std::wstring& line)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen((g_outDir + L"\\driver.log").c_str(), L"ab"), std::fclose);
    if (f) std::fputs((Utf8(line) + "\n").c_str(), f.get());
}

void Fail(const std::wstring& what)
{
    ++g_failures;
    Log(L"FAIL " + what);
}

// Saves the screen area that holds all the given windows, with a small margin, as a BMP file.
void Capture(const std::wstring& name, const std::vector<HWND>& windows)
{
    // Settled windows have handled everything posted to them; the painting of another process
    // cannot be waited for, so a pause lets it reach the screen (a picture depends on it, no test).
    for (HWND w : windows) Settle(w);
    Sleep(400);
    RECT area = {};
    for (HWND w : windows) {
        RECT r = {};
        if (GetWindowRect(w, &r)) UnionRect(&area, &area, &r);
    }
    InflateRect(&area, kShadowMargin, kShadowMargin);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT visible = {};
    if (!IntersectRect(&visible, &area, &screen)) return Fail(name + L": no window on the screen");
    const int width = visible.right - visible.left;
    const int height = visible.bottom - visible.top;

    handles::WindowDC screenDc(nullptr);
    handles::UniqueCreatedDC memoryDc(CreateCompatibleDC(screenDc.get()));
    UniqueBitmap bitmap(CreateCompatibleBitmap(screenDc.get(), width, height));
    const HGDIOBJ old = SelectObject(memoryDc.get(), bitmap.get());
    const bool copied = BitBlt(memoryDc.get(), 0, 0, width, height, screenDc.get(), visible.left, visible.top,
                               SRCCOPY | CAPTUREBLT);
    SelectObject(memoryDc.get(), old);
    // Bottom-up rows of 24-bit pixels, each padded to four bytes, as a BMP file stores them.
    BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(info);
    const DWORD size = offset + ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * static_cast<DWORD>(height);
    const BITMAPFILEHEADER file = {0x4D42, size, 0, 0, offset};  // "BM"
    std::string bmp(size, '\0');
    std::memcpy(&bmp[0], &file, sizeof(file));
    std::memcpy(&bmp[sizeof(file)], &info, sizeof(info));
    const std::wstring path = g_outDir + L"\\" + name + L".bmp";
    if (!copied || !GetDIBits(memoryDc.get(), bitmap.get(), 0, static_cast<UINT>(height), &bmp[offset],
                              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) ||
        !WriteBytes(path, bmp)) {
        return Fail(name + L": cannot capture the screen into " + path);
    }
    wchar_t line[160] = {};
    swprintf(line, 160, L"shot %ls %dx%d at %d,%d", name.c_str(), width, height, visible.left, visible.top);
    Log(line);
}

// Moves the keyboard focus inside the dialog the way Tab would, so the control draws its
// focused look (a report list shows its selected row only while it has the focus).
void FocusControl(HWND dialog, HWND control)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

// Opens a popup menu by the given action, saves it over the dialog and closes it with Escape.
void CaptureMenu(const std::wstring& name, DWORD pid, HWND dialog, void (*open)(HWND))
{
    open(dialog);
    HWND menu = WaitForWindow(pid, L"#32768", nullptr, 5000);
    if (!menu) {
        Fail(name + L": the menu did not open");
        return;
    }
    Capture(name, {dialog, menu});
    if (!AnswerPopupMenu(menu, 0)) Fail(name + L": the menu did not close");
}

void OpenTypeListMenu(HWND dialog)
{
    HWND typeList = GetDlgItem(dialog, IDC_TYPE_LIST);
    FocusControl(dialog, typeList);
    // The keyboard's form of the message: the menu opens at the selected row.
    PostMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(typeList), MAKELPARAM(-1, -1));
}

void OpenHistoryMenu(HWND dialog)
{
    HWND browse = GetDlgItem(dialog, IDC_BROWSE);
    FocusControl(dialog, browse);
    Settle(dialog);
    PostMessageW(browse, WM_KEYDOWN, VK_DOWN, 0x01500001);
}

// Clicks the button and waits for the dialog it opens over the browser.
HWND OpenOwnedDialog(const std::wstring& name, DWORD pid, HWND dialog, int buttonId)
{
    PostMessageW(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
    HWND owned = WaitForWindow(pid, L"#32770", dialog);
    if (!owned) Fail(name + L": no dialog opened");
    return owned;
}

void CaptureSettingsDialog(DWORD pid, HWND dialog)
{
    const std::wstring name = L"plugin-settings";
    HWND owned = OpenOwnedDialog(name, pid, dialog, IDC_SETTINGS);
    if (!owned) return;
    Capture(name, {dialog, owned});
    if (!AnswerPicker(owned, PickerAnswer::Cancel)) Fail(name + L": the dialog did not close");
}

// Should the picker still stop its walk to the current folder part-way, the picture is taken
// of a second picker, and the log says so.
void CaptureFolderPicker(DWORD pid, HWND dialog)
{
    const std::wstring name = L"folder-picker";
    const std::wstring folder = TextOf(GetDlgItem(dialog, IDC_FOLDER));
    const std::wstring folderName = folder.substr(folder.find_last_of(L'\\') + 1);
    SettleFolderAccessTimes(folder);
    for (int attempt = 1;; ++attempt) {
        HWND picker = OpenOwnedDialog(name, pid, dialog, IDC_BROWSE);
        if (!picker) return;
        // The picker selects the current folder while it fills its tree; its edit box then
        // shows that folder's name.
        const bool selected = WaitUntil(
            [&] { return _wcsicmp(PickerSelectedName(picker).c_str(), folderName.c_str()) == 0; }, 2000);
        if (!selected && attempt == 1) {
            Log(L"NOTE folder-picker: the first picker did not select " + folder + L"; opened it again");
            if (!AnswerPicker(picker, PickerAnswer::Cancel)) Fail(name + L": the picker did not close");
            continue;
        }
        if (!selected) Fail(name + L": the picker did not select " + folder);
        Capture(name, {dialog, picker});
        if (!AnswerPicker(picker, PickerAnswer::Cancel)) Fail(name + L": the picker did not close");
        return;
    }
}

void ShootBrowser(const std::wstring& exe, const std::wstring& pluginName)
{
    Program browser(exe);
    HWND dialog = WaitForWindow(browser.Id(), L"#32770");
    if (!dialog) {
        Fail(L"the browser's dialog did not open from " + exe);
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    const std::vector<std::wstring> names = ListBoxItems(list);
    const auto found = std::find(names.begin(), names.end(), pluginName);
    if (found == names.end()) Fail(L"no entry " + pluginName + L" in the plug-in list");
    SendMessageW(list, LB_SETCURSEL, found == names.end() ? 0 : static_cast<WPARAM>(found - names.begin()), 0);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    FocusControl(dialog, list);
    Capture(L"main-dialog", {dialog});

    CaptureMenu(L"type-list-menu", browser.Id(), dialog, OpenTypeListMenu);
    CaptureMenu(L"history-menu", browser.Id(), dialog, OpenHistoryMenu);
    CaptureFolderPicker(browser.Id(), dialog);
    CaptureSettingsDialog(browser.Id(), dialog);

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (browser.Wait() != 0) Fail(L"the browser did not end with exit code 0");
}

void ShootUsage(const std::wstring& exe)
{
    Program configurator(exe);
    HWND box = WaitForWindow(configurator.Id(), L"#32770");
    if (!box) {
        Fail(L"the usage box did not open from " + exe);
    } else {
        Capture(L"configurator-usage", {box});
        DismissMessageBox(box);
    }
    if (configurator.Wait() != 0xFFFFFFFFu) Fail(L"the configurator did not end with exit code -1");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    LPWSTR* raw = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!raw) return 2;
    const std::vector<std::wstring> args(raw, raw + argc);
    LocalFree(raw);
    if (args.size() < 5) return 2;
    g_outDir = args[1];
    // Rectangles in physical pixels, as the DPI-aware browser sees them.
    SetProcessDPIAware();

    handles::WindowDC screen(nullptr);
    wchar_t line[160] = {};
    swprintf(line, 160, L"screen %dx%d, %d DPI", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
             GetDeviceCaps(screen.get(), LOGPIXELSX));
    Log(line);
    ShootBrowser(args[2], args[4]);
    ShootUsage(args[3]);

    wchar_t done[32] = {};
    swprintf(done, 32, L"done %d", g_failures);
    Log(done);
    return g_failures == 0 ? 0 : 1;
}
