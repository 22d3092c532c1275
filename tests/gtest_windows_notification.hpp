// GoogleTest's Notification from one of Windows' events, for C++ libraries
// without std::mutex: GoogleTest 1.12 makes its own of std::mutex, which
// mingw-w64's C++ library with Windows threads lacks before GCC 13.
// GoogleTest takes a Notification that is already defined, and makes none
// of its own, when GTEST_HAS_NOTIFICATION_ is set.
#pragma once

#include <windows.h>

namespace testing::internal {

// Lets a controller thread hold threads back until it notifies them.
class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
