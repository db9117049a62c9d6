#include "recorder/test_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "recorder/sound_coder.h"

namespace sp::recorder {
namespace {

// splitmix32: a fixed generator, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 0x9E3779B9u + 0x7F4A7C15u) {}
  uint32_t Next() {
    uint32_t z = (state_ += 0x9E3779B9u);
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
  }
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t state_;
};

Pixel Rgb(int r, int g, int b) {
  return static_cast<Pixel>(std::clamp(r, 0, 255) << 16 | std::clamp(g, 0, 255) << 8 |
                            std::clamp(b, 0, 255));
}

}  // namespace

void FillTestPattern(Bitmap& bitmap, uint32_t seed) {
  Random random(seed);
  const int w = bitmap.Width();
  const int h = bitmap.Height();
  if (w <= 0 || h <= 0) return;
  bitmap.MarkAllDirty();
  const int r0 = random.Below(128), g0 = random.Below(128), b0 = random.Below(128);
  for (int y = 0; y < h; ++y) {
    Pixel* row = bitmap.Row(y);
    for (int x = 0; x < w; ++x) {
      row[x] = Rgb(r0 + x * 127 / w, g0 + y * 127 / h, b0 + (x + y) * 63 / (w + h));
    }
  }
  // Rectangles on the 16-pixel grid of the JPEG's 4:2:0 units, so no DCT
  // block straddles their edges; a bitmap too small for one gets none.
  constexpr int kGrid = 16;
  const int columns = w / kGrid;
  const int rows = h / kGrid;
  if (columns < 2 || rows < 2) return;
  const int count = 3 + random.Below(4);
  for (int i = 0; i < count; ++i) {
    const int cw = 1 + random.Below(std::max(1, columns / 3));
    const int ch = 1 + random.Below(std::max(1, rows / 3));
    const int left = random.Below(columns - cw + 1) * kGrid;
    const int top = random.Below(rows - ch + 1) * kGrid;
    FillRect(bitmap, {left, top, left + cw * kGrid, top + ch * kGrid},
             Rgb(random.Below(256), random.Below(256), random.Below(256)));
  }
}

void FillRect(Bitmap& bitmap, const Rect& r, Pixel pixel) {
  const Rect clipped = r.Intersect(bitmap.Bounds());
  if (clipped.IsEmpty()) return;
  for (int y = clipped.top; y < clipped.bottom; ++y) {
    std::fill(bitmap.Row(y) + clipped.left, bitmap.Row(y) + clipped.right, pixel);
  }
  bitmap.MarkDirty(clipped);
}

void CopyPixels(const Bitmap& from, Bitmap& to) {
  to.SetSize(from.Width(), from.Height());
  if (from.IsEmpty()) return;
  std::memcpy(to.Data(), from.Data(),
              static_cast<size_t>(from.Width()) * from.Height() * sizeof(Pixel));
  to.MarkAllDirty();
}

std::vector<uint8_t> ToneSamples(size_t count, uint32_t seed, int sampleRate) {
  // A pentatonic scale around 440 Hz; each note lasts a quarter second.
  static constexpr double kScale[] = {261.6, 293.7, 329.6, 392.0, 440.0, 523.3, 587.3, 659.3};
  Random random(seed);
  std::vector<uint8_t> samples(count);
  const size_t noteLength = static_cast<size_t>(std::max(1, sampleRate / 4));
  double frequency = 0;
  double amplitude = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t inNote = i % noteLength;
    if (inNote == 0) {
      // One note in five is a pause.
      const bool pause = random.Below(5) == 0;
      frequency = kScale[random.Below(static_cast<int>(std::size(kScale)))];
      amplitude = pause ? 0.0 : 20.0 + random.Below(70);
    }
    const double t = static_cast<double>(i) / sampleRate;
    const double position = static_cast<double>(inNote) / static_cast<double>(noteLength);
    const double envelope = std::min(1.0, position * 20.0) * (1.0 - position);
    const double wave = std::sin(2 * std::numbers::pi * frequency * t) +
                        0.3 * std::sin(4 * std::numbers::pi * frequency * t);
    const double noise = static_cast<double>(random.Below(5)) - 2.0;
    const long value = std::lround(128.0 + amplitude * envelope * wave / 1.3 + noise);
    samples[i] = static_cast<uint8_t>(std::clamp(value, 0L, 255L));
  }
  return samples;
}

std::vector<uint8_t> ToneWav(double seconds, uint32_t seed, int sampleRate) {
  const size_t count = static_cast<size_t>(std::max(0.0, seconds) * sampleRate);
  return MakeWav8Mono(ToneSamples(count, seed, sampleRate), sampleRate);
}

}  // namespace sp::recorder
