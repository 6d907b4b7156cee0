#include "ui_driver.h"

#include <gtest/gtest.h>

#include "scratch.h"

namespace {

constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU
constexpr wchar_t kHolderVariable[] = L"PLEXMOOR_HOLD_CLIPBOARD";
const std::wstring kHeld = L"Local\\PlexmoorClipboardHeld-", kRelease = L"Local\\PlexmoorClipboardRelease-";

}  // namespace

LoopDriver::LoopDriver(const wchar_t* className, HWND owner, std::function<bool(HWND)> answer, DWORD timeoutMs)
    : watch_([this, className, owner, answer, timeoutMs] {
          const ULONGLONG end = GetTickCount64() + timeoutMs;
          // Past the timeout the thread keeps watching until the test goes on, so that a
          // window showing late is closed instead of holding the test's thread in its loop.
          while (!stop_) {
              HWND window = WaitForWindow(GetCurrentProcessId(), className, owner, 20);
              if (!window) continue;
              const std::string what = ClassOf(window) == L"#32768" ? "the popup menu" : "the dialog";
              if (GetTickCount64() > end) {
                  ADD_FAILURE() << what << " showed after the driver had given up; closed it";
                  PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
                  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                  WaitUntilGone(window, 2000);
                  continue;
              }
              Settle(window);
              {
                  std::lock_guard<SlimLock> lock(mutex_);
                  GetWindowRect(window, &bounds_);
              }
              seen_ = true;
              if (!answer(window)) ADD_FAILURE() << what << " did not close when answered; ended it";
              WaitUntilGone(window, 2000);
              return;  // one window answered: a later one is a fault the test sees otherwise
          }
      })
{
    thread_.reset(CreateThread(nullptr, 0, &LoopDriver::Watch, this, 0, nullptr));
    if (!thread_) ADD_FAILURE() << "the driver's thread did not start";
}

LoopDriver::~LoopDriver()
{
    stop_ = true;
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI LoopDriver::Watch(void* driver)
{
    static_cast<LoopDriver*>(driver)->watch_();
    return 0;
}

std::vector<std::wstring> LoopDriver::Texts() const
{
    std::lock_guard<SlimLock> lock(mutex_);
    return texts_;
}

RECT LoopDriver::Bounds() const
{
    std::lock_guard<SlimLock> lock(mutex_);
    return bounds_;
}

PopupMenuDriver::PopupMenuDriver(int choose, DWORD timeoutMs)
    : LoopDriver(L"#32768", nullptr,
                 [this, choose](HWND menu) {
                     {
                         std::lock_guard<SlimLock> lock(mutex_);
                         HMENU handle = reinterpret_cast<HMENU>(SendMessageW(menu, kGetMenuHandle, 0, 0));
                         for (int i = 0; handle && i < GetMenuItemCount(handle); ++i) {
                             wchar_t text[1024] = {};
                             GetMenuStringW(handle, static_cast<UINT>(i), text, 1024, MF_BYPOSITION);
                             texts_.push_back(text);
                         }
                     }
                     return AnswerPopupMenu(menu, choose);
                 },
                 timeoutMs)
{
}

PickerDriver::PickerDriver(HWND owner, PickerAnswer answer, const std::wstring& folder, DWORD timeoutMs)
    : LoopDriver(L"#32770", owner,
                 [this, answer, folder](HWND picker) {
                     {
                         std::lock_guard<SlimLock> lock(mutex_);
                         for (HWND c = GetWindow(picker, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                             const std::wstring text = TextOf(c);
                             if (!text.empty()) texts_.push_back(text);
                         }
                         texts_.push_back(PickerSelectedName(picker));
                     }
                     return AnswerPicker(picker, answer, folder);
                 },
                 timeoutMs)
{
}

ClipboardHolder::ClipboardHolder(const std::wstring& text)
{
    const std::wstring id = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (kHeld + id).c_str()));
    release_.reset(CreateEventW(nullptr, TRUE, FALSE, (kRelease + id).c_str()));
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
    handles::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, (kHeld + id).c_str()));
    handles::UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, (kRelease + id).c_str()));
    if (!text.empty()) WriteClipboardText(text);
    const BOOL opened = OpenClipboard(nullptr);
    if (ready) SetEvent(ready.get());
    if (release) WaitForSingleObject(release.get(), 30000);
    if (opened) CloseClipboard();
    ExitProcess(opened && ready && release ? 0 : 3);
}
