#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"

namespace sp::recorder {

// Synthetic pictures and sounds for tests, benchmarks and the demo. Every
// result depends only on its arguments, so fixtures are the same on every
// machine.

// Paints the whole bitmap with smooth gradients and a few solid rectangles
// chosen by seed: pictures that survive JPEG coding with small errors. The
// rectangles lie on a 16-pixel grid from the top-left corner (none in a
// bitmap smaller than 32 x 32).
void FillTestPattern(Bitmap& bitmap, uint32_t seed);

// Fills r (clipped to the bitmap) with one pixel value 0x00RRGGBB.
void FillRect(Bitmap& bitmap, const Rect& r, Pixel pixel);

// Makes `to` a pixel-for-pixel copy of `from` (Bitmap itself is not copyable).
void CopyPixels(const Bitmap& from, Bitmap& to);

// 8-bit unsigned mono samples centred on 128: a melody of short notes with
// soft attack and decay, quiet gaps and a little noise, like a recorded
// voice-over's byte statistics (most bytes near 128).
std::vector<uint8_t> ToneSamples(size_t count, uint32_t seed = 1, int sampleRate = 11025);

// A complete 8-bit mono WAV file of the given length holding ToneSamples.
std::vector<uint8_t> ToneWav(double seconds, uint32_t seed = 1, int sampleRate = 11025);

}  // namespace sp::recorder
