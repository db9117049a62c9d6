#include "platform/qt/timer_service.h"

#include <algorithm>

namespace sp {

namespace {

using Clock = std::chrono::steady_clock;

// A timer held up longer than this (an error box that waits for the user)
// skips the periods it missed instead of firing them all at once; shorter
// delays are caught up, which keeps the tick count in step with the clock.
constexpr auto kMaxCatchUp = std::chrono::seconds(1);

thread_local std::shared_ptr<TimerState> currentTimer;

void RunTimer(std::shared_ptr<TimerState> state, std::chrono::milliseconds period,
              TimerCallback callback, uintptr_t user, bool periodic) {
  currentTimer = state;
  auto deadline = Clock::now() + period;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      if (state->wake.wait_until(lock, deadline, [&] { return state->stopped.load(); })) break;
      // Decided under the lock that KillEvent takes to set stopped: a kill
      // either comes before this and no callback starts, or waits for it.
      state->inCallback = true;
    }
    callback(state->id, 0, user, 0, 0);
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->inCallback = false;
    }
    state->wake.notify_all();
    if (!periodic || state->stopped) break;
    deadline += period;
    const auto lag = Clock::now() - deadline;
    if (lag > kMaxCatchUp) deadline += (lag / period + 1) * period;
  }
  currentTimer.reset();
  state->finished = true;
}

}  // namespace

TimerService::~TimerService() {
  KillAll();
  std::lock_guard<std::mutex> lock(mutex_);
  for (Entry& e : killed_) {
    if (e.thread.joinable()) e.thread.join();
  }
}

std::shared_ptr<TimerState> TimerService::Current() { return currentTimer; }

uint32_t TimerService::SetEvent(uint32_t delayMs, TimerCallback callback, uintptr_t user,
                                uint32_t flags) {
  if (delayMs == 0 || callback == nullptr) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  JoinFinished();
  auto state = std::make_shared<TimerState>();
  state->id = ++lastId_;
  if (state->id == 0) state->id = ++lastId_;
  const bool periodic = (flags & kTimePeriodic) != 0;
  std::thread thread(RunTimer, state, std::chrono::milliseconds(delayMs), callback, user, periodic);
  running_.push_back({state, std::move(thread)});
  return state->id;
}

uint32_t TimerService::KillEvent(uint32_t timerId) {
  const bool fromItsOwnThread = [&] {
    const std::shared_ptr<TimerState> current = currentTimer;
    return current && current->id == timerId;
  }();
  Entry entry;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(running_.begin(), running_.end(),
                           [&](const Entry& e) { return e.state->id == timerId; });
    if (it == running_.end()) return kMmInvalidParam;
    {
      std::lock_guard<std::mutex> stateLock(it->state->mutex);
      it->state->stopped = true;
    }
    it->state->wake.notify_all();
    if (fromItsOwnThread) {
      // It cannot wait for or join itself: joined later, once finished.
      killed_.push_back(std::move(*it));
      running_.erase(it);
      JoinFinished();
      return 0;
    }
    entry = std::move(*it);
    running_.erase(it);
    JoinFinished();
  }
  // Without the service's lock: the callback may call into the service.
  // Once it has returned the thread ends at once, so it is joined here.
  {
    std::unique_lock<std::mutex> stateLock(entry.state->mutex);
    entry.state->wake.wait(stateLock, [&] { return !entry.state->inCallback; });
  }
  entry.thread.join();
  return 0;
}

void TimerService::KillAll() {
  std::vector<uint32_t> ids;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : running_) ids.push_back(e.state->id);
  }
  for (uint32_t id : ids) KillEvent(id);
}

bool TimerService::AllFinished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto done = [](const Entry& e) { return e.state->finished.load(); };
  return std::all_of(running_.begin(), running_.end(), done) &&
         std::all_of(killed_.begin(), killed_.end(), done);
}

void TimerService::JoinFinished() {
  for (auto it = killed_.begin(); it != killed_.end();) {
    // A timer killed from its own thread cannot join itself; it is joined
    // by a later call or by the destructor.
    if (it->state->finished && it->thread.get_id() != std::this_thread::get_id()) {
      it->thread.join();
      it = killed_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace sp
