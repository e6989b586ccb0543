// gtest_win32_threads.h - GoogleTest's Notification for MinGW-w64's "win32"
// thread model, whose libstdc++ lacks std::mutex and std::condition_variable
// that GoogleTest's own version needs. Only GoogleTest's own thread tests wait
// on a Notification; ours run in one thread, so a plain flag is enough.
#ifndef GTEST_WIN32_THREADS_H
#define GTEST_WIN32_THREADS_H

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification &) = delete;
    Notification &operator=(const Notification &) = delete;

    void Notify() { notified_.store(true); }

    void WaitForNotification()
    {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing

#endif
