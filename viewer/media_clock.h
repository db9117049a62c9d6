#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace sp::view {

// The viewer's one time line: the recording's time in milliseconds, moving
// at the chosen speed while playing. The picture is drawn for it and the
// sound follows it. Safe from any thread (the sound callback reads it).
class MediaClock {
 public:
  using Steady = std::chrono::steady_clock;
  // Where the clock reads the time: the steady clock, or a test's own, so
  // that an hour can be played through in a moment.
  using TimeSource = Steady::time_point (*)();

  static Steady::time_point SteadyNow() { return Steady::now(); }

  explicit MediaClock(TimeSource now = &SteadyNow) : now_(now), since_(now()) {}

  Steady::time_point TimeNow() const { return now_(); }
  double Now() const { return At(now_()); }
  double At(Steady::time_point when) const {
    std::lock_guard lock(mutex_);
    if (paused_) return base_;
    return base_ + std::chrono::duration<double, std::milli>(when - since_).count() * speed_;
  }
  bool Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
  }
  double Speed() const {
    std::lock_guard lock(mutex_);
    return speed_;
  }
  // Bumped by every seek, pause and speed change: the sound resynchronises.
  uint64_t Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
  }

  void Seek(double milliseconds) {
    std::lock_guard lock(mutex_);
    base_ = milliseconds;
    since_ = now_();
    ++generation_;
  }
  void SetPaused(bool paused) {
    std::lock_guard lock(mutex_);
    Rebase();
    paused_ = paused;
    ++generation_;
  }
  void SetSpeed(double speed) {
    std::lock_guard lock(mutex_);
    Rebase();
    speed_ = speed;
    ++generation_;
  }

 private:
  void Rebase() {
    const Steady::time_point now = now_();
    if (!paused_) base_ += std::chrono::duration<double, std::milli>(now - since_).count() * speed_;
    since_ = now;
  }

  const TimeSource now_;
  mutable std::mutex mutex_;
  double base_ = 0;
  Steady::time_point since_;
  double speed_ = 1.0;
  bool paused_ = true;
  uint64_t generation_ = 0;
};

}  // namespace sp::view
