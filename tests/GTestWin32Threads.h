// Included ahead of GoogleTest in every test program. The win32-thread toolchain's standard
// library has no std::mutex or std::condition_variable, which GoogleTest's start signal for its
// own helper threads is built on; this signal waits on a flag instead. The test programs
// start no such threads.
#pragma once

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { __atomic_store_n(&notified_, true, __ATOMIC_RELEASE); }
    void WaitForNotification() {
        while (!__atomic_load_n(&notified_, __ATOMIC_ACQUIRE)) Sleep(1);
    }

private:
    bool notified_ = false;
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
