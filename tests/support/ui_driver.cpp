#include "ui_driver.h"

#include <gtest/gtest.h>

#include "scratch.h"

namespace {

constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU
constexpr wchar_t kHolderVariable[] = L"PLEXMOOR_HOLD_CLIPBOARD";

std::wstring HolderEvent(const wchar_t* kind, const std::wstring& id)
{
    return std::wstring(L"Local\\PlexmoorClipboard") + kind + L"-" + id;
}

}  // namespace

LoopDriver::LoopDriver(std::function<HWND()> find, std::function<bool(HWND)> answer, DWORD timeoutMs,
                       const char* what)
    : thread_([this, find, answer, timeoutMs, what] {
          const ULONGLONG end = GetTickCount64() + timeoutMs;
          // Past the timeout the thread keeps watching until the test goes on, so that a
          // window showing late is closed instead of holding the test's thread in its loop.
          while (!stop_) {
              HWND window = find();
              if (!window) {
                  Sleep(20);
                  continue;
              }
              if (GetTickCount64() > end) {
                  ADD_FAILURE() << what << " showed after the driver had given up; closed it";
                  PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
                  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                  WaitUntilGone(window, 2000);
                  continue;
              }
              seen_ = true;
              if (!answer(window)) ADD_FAILURE() << what << " did not close when answered; ended it";
              WaitUntilGone(window, 2000);
              // A later window of the kind would be another test's or a fault: only one is answered.
              return;
          }
      })
{
}

LoopDriver::~LoopDriver()
{
    stop_ = true;
    thread_.join();
}

PopupMenuDriver::PopupMenuDriver(int choose, DWORD timeoutMs)
    : LoopDriver([] { return WaitForWindow(GetCurrentProcessId(), L"#32768", nullptr, 0); },
                 [this, choose](HWND menu) {
                     Settle(menu);
                     {
                         std::lock_guard<std::mutex> lock(mutex_);
                         GetWindowRect(menu, &bounds_);
                         HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, kGetMenuHandle, 0, 0));
                         const int count = handle ? GetMenuItemCount(handle) : 0;
                         for (int i = 0; i < count; ++i) {
                             wchar_t text[1024] = {};
                             GetMenuStringW(handle, static_cast<UINT>(i), text, 1024, MF_BYPOSITION);
                             texts_.push_back(text);
                         }
                     }
                     return AnswerPopupMenu(menu, choose);
                 },
                 timeoutMs, "the popup menu")
{
}

std::vector<std::wstring> PopupMenuDriver::Items() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

RECT PopupMenuDriver::Bounds() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return bounds_;
}

std::wstring DisplayedMenuText(const std::wstring& itemText)
{
    std::wstring shown;
    for (size_t i = 0; i < itemText.size(); ++i) {
        if (itemText[i] != L'&') {
            shown += itemText[i];
        } else if (i + 1 < itemText.size() && itemText[i + 1] == L'&') {
            shown += L'&';
            ++i;
        }
    }
    return shown;
}

PickerDriver::PickerDriver(HWND owner, PickerAnswer answer, const std::wstring& folder, DWORD timeoutMs)
    : LoopDriver([owner] { return WaitForWindow(GetCurrentProcessId(), L"#32770", owner, 0); },
                 [this, answer, folder](HWND picker) {
                     Settle(picker);
                     {
                         std::lock_guard<std::mutex> lock(mutex_);
                         for (HWND c = GetWindow(picker, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                             const std::wstring text = TextOf(c);
                             if (!text.empty()) texts_.push_back(text);
                         }
                         selected_ = PickerSelectedName(picker);
                     }
                     return AnswerPicker(picker, answer, folder);
                 },
                 timeoutMs, "the folder picker")
{
}

std::vector<std::wstring> PickerDriver::ChildTexts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

std::wstring PickerDriver::SelectedName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return selected_;
}

ClipboardHolder::ClipboardHolder(const std::wstring& text)
{
    const std::wstring id = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, HolderEvent(L"Held", id).c_str()));
    release_.reset(CreateEventW(nullptr, TRUE, FALSE, HolderEvent(L"Release", id).c_str()));
    SetEnvironmentVariableW(kHolderVariable, (id + L"|" + text).c_str());
    holder_ = std::make_unique<Program>(ExecutablePath());
    SetEnvironmentVariableW(kHolderVariable, nullptr);
    held_ = holder_->Started() && WaitForSingleObject(ready_.get(), 20000) == WAIT_OBJECT_0;
}

DWORD ClipboardHolder::Release()
{
    SetEvent(release_.get());
    return holder_->Wait();
}

void HoldClipboardIfAsked()
{
    std::vector<wchar_t> request(65536, L'\0');
    if (!GetEnvironmentVariableW(kHolderVariable, request.data(), 65536)) return;
    const std::wstring line = request.data();
    const std::wstring id = line.substr(0, line.find(L'|'));
    const std::wstring text = line.substr(id.size() + 1);
    handles::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, HolderEvent(L"Held", id).c_str()));
    handles::UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, HolderEvent(L"Release", id).c_str()));
    if (!text.empty()) WriteClipboardText(text);
    const BOOL opened = OpenClipboard(nullptr);
    if (ready) SetEvent(ready.get());
    if (release) WaitForSingleObject(release.get(), 30000);
    if (opened) CloseClipboard();
    ExitProcess(opened && ready && release ? 0 : 3);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
