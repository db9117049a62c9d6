#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <limits>
#include <string>

namespace sp::bench {

// CPU seconds the calling thread spends in one call of fn. On a machine
// shared with other work, time spent switched out is not counted.
inline double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename Fn>
double TimeOnce(Fn&& fn) {
  const double start = ThreadSeconds();
  fn();
  return ThreadSeconds() - start;
}

// Runs the figure and its anchor alternately in every iteration, so both see
// the same machine, and reports the fastest run of each: counters figure_ms,
// anchor_ms and x, the ratio the goal is stated in. The benchmark's own time
// is the figure's (manual time: register with UseManualTime()).
enum class Ratio { kAnchorOverFigure, kFigureOverAnchor };

// prepare runs before each figure, outside the timing.
template <typename Prepare, typename Figure, typename Anchor>
void RunAnchored(benchmark::State& state, Prepare&& prepare, Figure&& figure, Anchor&& anchor, Ratio ratio,
                 const std::string& label) {
  double bestFigure = std::numeric_limits<double>::infinity();
  double bestAnchor = std::numeric_limits<double>::infinity();
  for (auto _ : state) {
    prepare();
    const double f = TimeOnce(figure);
    state.SetIterationTime(f);
    bestFigure = std::min(bestFigure, f);
    bestAnchor = std::min(bestAnchor, TimeOnce(anchor));
  }
  state.counters["figure_ms"] = bestFigure * 1e3;
  state.counters["anchor_ms"] = bestAnchor * 1e3;
  state.counters["x"] = ratio == Ratio::kAnchorOverFigure ? bestAnchor / bestFigure : bestFigure / bestAnchor;
  state.SetLabel(label);
}

template <typename Figure, typename Anchor>
void RunAnchored(benchmark::State& state, Figure&& figure, Anchor&& anchor, Ratio ratio, const std::string& label) {
  RunAnchored(state, [] {}, figure, anchor, ratio, label);
}

}  // namespace sp::bench
