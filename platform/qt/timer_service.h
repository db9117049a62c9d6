#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/shell.h"

namespace sp {

// One periodic (or one-shot) timer of the multimedia timer service.
struct TimerState {
  uint32_t id = 0;
  std::atomic<bool> stopped{false};
  std::atomic<bool> finished{false};
  // Guards inCallback; wake is signalled when stopped is set and when a
  // callback returns. A callback that waits for another thread waits on
  // wake too, so that stopping its timer releases it.
  std::mutex mutex;
  std::condition_variable wake;
  bool inCallback = false;
};

// The multimedia timer on its own threads: each timer is a thread that
// sleeps to absolute deadlines on the steady clock, so a late callback does
// not push the later ones back.
//
// KillEvent returns only when the timer's callback is not running and will
// not run again, so whatever the callback reads may be freed right after.
// Called from the timer's own callback it cannot wait for itself; that
// callback is the last, and its thread is joined later, once finished.
// From any other thread KillEvent joins the timer's thread.
//
// A callback that waits for the killing thread (a send to the GUI thread,
// which is the one stopping the clock) must wait on its TimerState's wake
// and give up once stopped is set; otherwise KillEvent would wait forever.
class TimerService {
 public:
  TimerService() = default;
  // Kills every timer and joins every thread; the owner must first make
  // sure that no callback is blocked waiting for it.
  ~TimerService();
  TimerService(const TimerService&) = delete;
  TimerService& operator=(const TimerService&) = delete;

  // 0 on failure (a delay of 0 or no callback).
  uint32_t SetEvent(uint32_t delayMs, TimerCallback callback, uintptr_t user, uint32_t flags);
  // 0 on success; kMmInvalidParam for an unknown or already killed timer.
  uint32_t KillEvent(uint32_t timerId);
  void KillAll();
  // True when no timer thread is still running.
  bool AllFinished() const;

  // On a timer thread, inside its callback: that timer. Null elsewhere.
  static std::shared_ptr<TimerState> Current();

  static constexpr uint32_t kMmInvalidParam = 11;  // MMSYSERR_INVALPARAM

 private:
  struct Entry {
    std::shared_ptr<TimerState> state;
    std::thread thread;
  };

  void JoinFinished();

  mutable std::mutex mutex_;
  uint32_t lastId_ = 0;
  std::vector<Entry> running_;
  std::vector<Entry> killed_;
};

}  // namespace sp
