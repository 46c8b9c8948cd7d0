// Threads for qwpack's coding pool and bench: the standard library's where
// it has them. MinGW's win32 thread model (the one the launcher is built
// with) has no std::thread, std::mutex or std::condition_variable; there the
// same small surface is built on the Win32 primitives.
#pragma once

#include <mutex>  // std::lock_guard and std::unique_lock, in every thread model

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  SRWLOCK* native() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;
  template <typename Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
    while (!ready()) SleepConditionVariableSRW(&condition_, lock.mutex()->native(), INFINITE, 0);
  }
  void notify_one() { WakeConditionVariable(&condition_); }
  void notify_all() { WakeAllConditionVariable(&condition_); }

 private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

class Thread {
 public:
  template <typename Function, typename... Arguments>
  explicit Thread(Function function, Arguments... arguments) {
    auto body = std::make_unique<std::function<void()>>(
        [function, arguments...]() mutable { function(arguments...); });
    handle_ = CreateThread(nullptr, 0, Start, body.get(), 0, nullptr);
    if (!handle_) {
      fprintf(stderr, "qwpack: cannot start a thread (error %lu)\n", GetLastError());
      abort();  // where std::thread would throw
    }
    body.release();  // the thread owns it now
  }
  Thread(Thread&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() {
    if (handle_) CloseHandle(handle_);
  }
  void join() {
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Start(void* body) {
    std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(body));
    (*run)();
    return 0;
  }
  HANDLE handle_ = nullptr;
};

#else
#include <condition_variable>
#include <thread>

using Mutex = std::mutex;
using ConditionVariable = std::condition_variable;
using Thread = std::thread;
#endif
