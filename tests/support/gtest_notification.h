// Read before every file that sees GoogleTest (tests/CMakeLists.txt). GCC 12's win32 thread
// model, which the programs are built with, has no std::mutex or std::condition_variable;
// GoogleTest 1.12 needs them only for its Notification, which starts a thread of its own tests.
// This one waits on a Win32 event instead.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
