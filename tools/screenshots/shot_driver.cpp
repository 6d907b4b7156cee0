// Drives Plexmoor2 and Plexmoor1 from outside, inside one Wine desktop, and saves a picture
// of each state the user guide shows: the screen area around the windows concerned, as a
// 24-bit BMP that scripts/screenshots.sh converts to PNG.
//
// Usage: shot_driver <output folder> <Plexmoor2.exe> <Plexmoor1.exe> <plug-in file name>
// Writes <output folder>\driver.log; its last line is "done <number of failures>".
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "access_times.h"
#include "handles.h"
#include "resource.h"

namespace {

constexpr int kShadowMargin = 12;  // room for the frame's edge and a little desktop around it
constexpr DWORD kWindowTimeoutMs = 10000;

struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer<HBITMAP>::type, GdiObjectDeleter>;

// Puts a GDI object into a DC for one scope and puts the old one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, old_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

std::wstring g_outDir;
int g_failures = 0;

void Log(const std::wstring& line)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen((g_outDir + L"\\driver.log").c_str(), L"ab"), std::fclose);
    if (!f) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> utf8(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    std::fputs(utf8.data(), f.get());
    std::fputs("\n", f.get());
}

void Fail(const std::wstring& what)
{
    ++g_failures;
    Log(L"FAIL " + what);
}

// Rectangles in physical pixels, whatever DPI the display is set to.
void BecomeDpiAware()
{
    typedef BOOL(WINAPI * SetContextFn)(HANDLE);
    auto setContext = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setContext && (setContext(reinterpret_cast<HANDLE>(-4)) || setContext(reinterpret_cast<HANDLE>(-3)))) return;
    SetProcessDPIAware();
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct WindowQuery {
    DWORD pid;
    const wchar_t* className;
    HWND owner;  // null: any
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* q = reinterpret_cast<WindowQuery*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != q->pid || !IsWindowVisible(window) || ClassOf(window) != q->className) return TRUE;
    if (q->owner && GetWindow(window, GW_OWNER) != q->owner) return TRUE;
    q->found = window;
    return FALSE;
}

HWND WaitForWindow(DWORD pid, const wchar_t* className, HWND owner, DWORD timeoutMs = kWindowTimeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    do {
        WindowQuery q{pid, className, owner, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&q));
        if (q.found) return q.found;
        Sleep(50);
    } while (GetTickCount64() < end);
    return nullptr;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs = kWindowTimeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
    return true;
}

// A message sent to each window returns only once its thread has handled everything posted
// before it; the pause after that lets deferred painting reach the screen.
void Settle(const std::vector<HWND>& windows, DWORD pauseMs = 400)
{
    for (HWND w : windows) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &ignored);
    }
    Sleep(pauseMs);
}

bool WriteBmp(const std::wstring& path, int width, int height, const void* bits, DWORD bitsSize)
{
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = bitsSize;
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + bitsSize;
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) return false;
    handles::UniqueHandle out(raw);
    DWORD written = 0;
    bool ok = WriteFile(out.get(), &file, sizeof(file), &written, nullptr) && written == sizeof(file);
    ok = ok && WriteFile(out.get(), &info, sizeof(info), &written, nullptr) && written == sizeof(info);
    ok = ok && WriteFile(out.get(), bits, bitsSize, &written, nullptr) && written == bitsSize;
    return ok;
}

// Saves the screen area that holds all the given windows, with a small margin.
void Capture(const std::wstring& name, const std::vector<HWND>& windows)
{
    Settle(windows);
    RECT area = {};
    for (HWND w : windows) {
        RECT r = {};
        if (!GetWindowRect(w, &r)) continue;
        if (IsRectEmpty(&area)) area = r;
        else UnionRect(&area, &area, &r);
    }
    InflateRect(&area, kShadowMargin, kShadowMargin);
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT visible = {};
    if (!IntersectRect(&visible, &area, &screen)) {
        Fail(name + L": no window on the screen");
        return;
    }
    const int width = visible.right - visible.left;
    const int height = visible.bottom - visible.top;

    handles::WindowDC screenDc(nullptr);
    handles::UniqueCreatedDC memoryDc(CreateCompatibleDC(screenDc.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(screenDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screenDc.get() || !memoryDc || !bitmap || !bits) {
        Fail(name + L": no bitmap for the capture");
        return;
    }
    {
        SelectedObject selected(memoryDc.get(), bitmap.get());
        if (!BitBlt(memoryDc.get(), 0, 0, width, height, screenDc.get(), visible.left, visible.top,
                    SRCCOPY | CAPTUREBLT)) {
            Fail(name + L": BitBlt from the screen failed");
            return;
        }
    }
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const std::wstring path = g_outDir + L"\\" + name + L".bmp";
    if (!WriteBmp(path, width, height, bits, stride * static_cast<DWORD>(height))) {
        Fail(name + L": cannot write " + path);
        return;
    }
    wchar_t line[160] = {};
    swprintf(line, 160, L"shot %ls %dx%d at %d,%d", name.c_str(), width, height, visible.left, visible.top);
    Log(line);
}

void PressEscape(HWND target) { PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001); }

// Moves the keyboard focus inside the dialog the way Tab would, so the control draws its
// focused look (a report list shows its selected row only while it has the focus).
void FocusControl(HWND dialog, HWND control)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int FindListBoxEntry(HWND list, const std::wstring& text)
{
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0) continue;
        std::vector<wchar_t> entry(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
        if (_wcsicmp(entry.data(), text.c_str()) == 0) return i;
    }
    return -1;
}

struct Child {
    handles::UniqueHandle process;
    DWORD pid = 0;
};

Child Start(const std::wstring& exe)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    Child child;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return child;
    CloseHandle(pi.hThread);
    child.process.reset(pi.hProcess);
    child.pid = pi.dwProcessId;
    return child;
}

// Ends the child if it outlived its script; returns its exit code.
DWORD Finish(const Child& child, DWORD timeoutMs)
{
    if (!child.process) return STILL_ACTIVE;
    if (WaitForSingleObject(child.process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(child.process.get(), 99);
        WaitForSingleObject(child.process.get(), 5000);
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    GetExitCodeProcess(child.process.get(), &code);
    return code;
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
    PressEscape(menu);
    if (!WaitUntilGone(menu)) Fail(name + L": the menu did not close");
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
    Settle({dialog}, 100);
    PostMessageW(browse, WM_KEYDOWN, VK_DOWN, 0x01500001);
}

// GetWindowTextW does not ask a control of another process for its text: send the message.
std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return L"";
    std::vector<wchar_t> text(length + 1, L'\0');
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        2000, &ignored);
    text.back() = L'\0';
    return text.data();
}

// The picker selects the current folder while it fills its tree; its edit box shows the
// selected folder's name once that has happened.
bool WaitForPickerSelection(HWND picker, const std::wstring& folder)
{
    const std::wstring name = folder.substr(folder.find_last_of(L'\\') + 1);
    const ULONGLONG end = GetTickCount64() + 2000;
    do {
        for (HWND child = GetWindow(picker, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (ClassOf(child) == L"Edit" && _wcsicmp(TextOf(child).c_str(), name.c_str()) == 0) return true;
        }
        Sleep(50);
    } while (GetTickCount64() < end);
    return false;
}

// Clicks the button and waits for the dialog it opens over the browser.
HWND OpenOwnedDialog(const std::wstring& name, DWORD pid, HWND dialog, int buttonId)
{
    PostMessageW(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
    HWND owned = WaitForWindow(pid, L"#32770", dialog);
    if (!owned) Fail(name + L": no dialog opened");
    return owned;
}

void CancelOwnedDialog(const std::wstring& name, HWND owned)
{
    PostMessageW(owned, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!WaitUntilGone(owned)) Fail(name + L": the dialog did not close");
}

void CaptureSettingsDialog(DWORD pid, HWND dialog)
{
    const std::wstring name = L"plugin-settings";
    HWND owned = OpenOwnedDialog(name, pid, dialog, IDC_SETTINGS);
    if (!owned) return;
    Capture(name, {dialog, owned});
    CancelOwnedDialog(name, owned);
}

// Should the picker still stop its walk to the current folder part-way, the picture is taken
// of a second picker, and the log says so.
void CaptureFolderPicker(DWORD pid, HWND dialog)
{
    const std::wstring name = L"folder-picker";
    const std::wstring folder = TextOf(GetDlgItem(dialog, IDC_FOLDER));
    SettleFolderAccessTimes(folder);
    for (int attempt = 1;; ++attempt) {
        HWND picker = OpenOwnedDialog(name, pid, dialog, IDC_BROWSE);
        if (!picker) return;
        const bool selected = WaitForPickerSelection(picker, folder);
        if (!selected && attempt == 1) {
            Log(L"NOTE folder-picker: the first picker did not select " + folder + L"; opened it again");
            CancelOwnedDialog(name, picker);
            continue;
        }
        if (!selected) Fail(name + L": the picker did not select " + folder);
        Capture(name, {dialog, picker});
        CancelOwnedDialog(name, picker);
        return;
    }
}

void ShootBrowser(const std::wstring& exe, const std::wstring& pluginName)
{
    Child browser = Start(exe);
    if (!browser.process) {
        Fail(L"cannot start " + exe);
        return;
    }
    WaitForInputIdle(browser.process.get(), kWindowTimeoutMs);
    HWND dialog = WaitForWindow(browser.pid, L"#32770", nullptr);
    if (!dialog) {
        Fail(L"the browser's dialog did not open");
        Finish(browser, 0);
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_PLUGIN_LIST);
    const int index = FindListBoxEntry(list, pluginName);
    if (index < 0) Fail(L"no entry " + pluginName + L" in the plug-in list");
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index < 0 ? 0 : index), 0);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLUGIN_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list),
                        SMTO_ABORTIFHUNG, kWindowTimeoutMs, &ignored);
    FocusControl(dialog, list);
    Capture(L"main-dialog", {dialog});

    CaptureMenu(L"type-list-menu", browser.pid, dialog, OpenTypeListMenu);
    CaptureMenu(L"history-menu", browser.pid, dialog, OpenHistoryMenu);
    CaptureFolderPicker(browser.pid, dialog);
    CaptureSettingsDialog(browser.pid, dialog);

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    const DWORD code = Finish(browser, kWindowTimeoutMs);
    if (code != 0) Fail(L"the browser did not end with exit code 0");
}

void ShootUsage(const std::wstring& exe)
{
    Child configurator = Start(exe);
    if (!configurator.process) {
        Fail(L"cannot start " + exe);
        return;
    }
    HWND box = WaitForWindow(configurator.pid, L"#32770", nullptr);
    if (!box) {
        Fail(L"the usage box did not open");
    } else {
        Capture(L"configurator-usage", {box});
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    const DWORD code = Finish(configurator, kWindowTimeoutMs);
    if (code != 0xFFFFFFFFu) Fail(L"the configurator did not end with exit code -1");
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
    BecomeDpiAware();

    {
        handles::WindowDC screen(nullptr);
        wchar_t line[160] = {};
        swprintf(line, 160, L"screen %dx%d, %d DPI", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 GetDeviceCaps(screen.get(), LOGPIXELSX));
        Log(line);
    }
    ShootBrowser(args[2], args[4]);
    ShootUsage(args[3]);

    wchar_t done[32] = {};
    swprintf(done, 32, L"done %d", g_failures);
    Log(done);
    return g_failures == 0 ? 0 : 1;
}
