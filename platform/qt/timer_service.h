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
  std::mutex mutex;
  std::condition_variable wake;
};

// The multimedia timer on its own threads: each timer is a thread that
// sleeps to absolute deadlines on the steady clock, so a late callback does
// not push the later ones back.
//
// KillEvent never joins a thread: the timer thread may at that moment be
// waiting for the very thread that kills it (a tick handler stopping its own
// clock). A killed timer's thread ends at its next wake-up and is joined
// later, once it has finished.
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
