#include "recorder/long_recording.h"

#include <random>
#include <utility>

#include "platform/bitmap.h"
#include "recorder/images.h"
#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

Block PatternBlock(int width, int height, uint32_t seed) {
  Bitmap picture(width, height);
  FillTestPattern(picture, seed);
  return Block{{0, 0, width, height}, EncodeJpeg(picture), {}, {}};
}

}  // namespace

Recording LongScreenRecording(int seconds, LongSound sound, std::vector<uint8_t>* fullJpeg) {
  Bitmap screen(kWidth, kHeight);
  FillTestPattern(screen, 1);
  RecordingBuilder builder(screen);
  builder.Interval(1000).FirstCursor(900, 500);
  if (sound == LongSound::kTone) builder.Sound(ToneWav(seconds, 3));
  std::vector<Block> parts;
  for (uint32_t i = 0; i < 8; ++i) parts.push_back(PatternBlock(240, 32, 10 + i));
  for (uint32_t i = 0; i < 4; ++i) parts.push_back(PatternBlock(640, 360, 20 + i));
  const Block full = PatternBlock(kWidth, kHeight, 30);
  if (fullJpeg) *fullJpeg = full.jpeg;
  std::mt19937 random(7);
  for (int k = 1; k < seconds; ++k) {
    std::vector<Block> blocks;
    if (k % 300 == 0) {
      blocks.push_back(full);
    } else {
      int top = static_cast<int>(random() % 200);
      for (int n = static_cast<int>(random() % 4); n > 0 && top < kHeight - 360; --n) {
        Block b = parts[random() % parts.size()];
        const int w = b.rect.right;
        const int h = b.rect.bottom;
        const int left = static_cast<int>(random() % (kWidth - w));
        b.rect = {left, top, left + w, top + h};
        blocks.push_back(std::move(b));
        top += h + static_cast<int>(random() % 100);
      }
    }
    builder.AddFrameBlocks(std::move(blocks), CursorPosition{static_cast<int32_t>(random() % kWidth),
                                                             static_cast<int32_t>(random() % kHeight)});
  }
  return builder.Build();
}

}  // namespace sp::recorder
