#include "tests/hardening/realistic_recording.h"

#include <random>

#include "platform/bitmap.h"
#include "recorder/images.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp::hardening {

recorder::Recording MakeRealisticRecording(uint32_t seed, const RealisticShape& shape) {
  std::mt19937 rng(seed);
  Bitmap screen(shape.width, shape.height);
  recorder::FillTestPattern(screen, seed);

  recorder::RecordingBuilder builder(screen);
  builder.Interval(shape.interval).FirstCursor(shape.width / 3, shape.height / 3);
  if (shape.soundSeconds > 0) builder.Sound(recorder::ToneWav(shape.soundSeconds, seed));

  const int bandHeight = std::max(1, shape.height / std::max(1, shape.rectsPerFrame));
  for (int f = 1; f <= shape.frames; ++f) {
    // One rectangle per horizontal band keeps the changed bands apart, so
    // each becomes a block of its own.
    if (f % 11 != 0) {
      for (int band = 0; band < shape.rectsPerFrame; ++band) {
        if (rng() % 4 == 0) continue;
        const int w = 4 + static_cast<int>(rng() % static_cast<uint32_t>(std::max(1, shape.width / 3)));
        const int h = 1 + static_cast<int>(rng() % static_cast<uint32_t>(std::max(1, bandHeight - 2)));
        const int x = static_cast<int>(rng() % static_cast<uint32_t>(std::max(1, shape.width - w)));
        const int y = band * bandHeight;
        recorder::FillRect(screen, {x, y, x + w, y + h}, rng() & 0xffffff);
      }
    }
    const recorder::CursorPosition cursor{static_cast<int32_t>(rng() % static_cast<uint32_t>(shape.width)),
                                          static_cast<int32_t>(rng() % static_cast<uint32_t>(shape.height))};
    std::vector<uint8_t> icon;
    if (f == shape.frames / 3) icon = recorder::MakeIconFile(recorder::TextCursor());
    if (f == 2 * shape.frames / 3) icon = recorder::MakeIconFile(recorder::ArrowCursor());
    builder.AddFrame(screen, cursor, std::move(icon));
  }

  recorder::Recording recording = builder.Build();
  recording.caption.text = "演示 caption";
  recording.caption.x = 8;
  recording.caption.y = 6;
  recording.caption.fontSize = 12;
  recording.caption.fontName = "DejaVu Sans";
  recording.caption.fontColor = 0x000000FF;
  recording.caption.bold = 1;
  recording.caption.textLeftovers = "leftover";
  return recording;
}

}  // namespace sp::hardening
