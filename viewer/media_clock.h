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

  double Now() const { return At(Steady::now()); }
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
    since_ = Steady::now();
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
    const Steady::time_point now = Steady::now();
    if (!paused_) base_ += std::chrono::duration<double, std::milli>(now - since_).count() * speed_;
    since_ = now;
  }

  mutable std::mutex mutex_;
  double base_ = 0;
  Steady::time_point since_ = Steady::now();
  double speed_ = 1.0;
  bool paused_ = true;
  uint64_t generation_ = 0;
};

}  // namespace sp::view
