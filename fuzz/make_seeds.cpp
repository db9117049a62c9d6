// Writes the seed corpora of the fuzz targets, one folder per target, from
// recordings, sound tracks, icons and JPEGs as the recorder makes them.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"
#include "tests/hardening/realistic_recording.h"

namespace fs = std::filesystem;
using namespace sp;

namespace {

bool Put(const fs::path& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(folder);
  return recorder::WriteFile((folder / name).string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  bool ok = true;

  // Small recordings, so that each run is quick: the payload alone.
  hardening::RealisticShape shape{.width = 64, .height = 48, .frames = 6, .rectsPerFrame = 3,
                                  .interval = 80, .soundSeconds = 0.05};
  ok &= Put(root / "player", "small", recorder::WritePayload(hardening::MakeRealisticRecording(1, shape)));
  shape.soundSeconds = 0;
  ok &= Put(root / "player", "silent", recorder::WritePayload(hardening::MakeRealisticRecording(2, shape)));
  shape.interval = 40;
  shape.frames = 2;
  recorder::Recording noCursor = hardening::MakeRealisticRecording(3, shape);
  noCursor.hasCursor = 0;
  ok &= Put(root / "player", "no-cursor", recorder::WritePayload(noCursor));

  ok &= Put(root / "sound", "tone", recorder::EncodeSoundTrack(recorder::ToneWav(0.05, 5)));
  std::mt19937 rng(9);
  std::geometric_distribution<int> skew(0.2);
  std::vector<uint8_t> skewed(600);
  for (uint8_t& b : skewed) b = static_cast<uint8_t>(std::min(skew(rng), 255));
  ok &= Put(root / "sound", "skewed", recorder::EncodeSoundTrack(skewed));

  ok &= Put(root / "icon", "arrow", recorder::MakeIconFile(recorder::ArrowCursor()));
  ok &= Put(root / "icon", "text", recorder::MakeIconFile(recorder::TextCursor()));

  for (auto [w, h] : {std::pair{32, 24}, std::pair{17, 9}, std::pair{1, 1}}) {
    Bitmap picture(w, h);
    recorder::FillTestPattern(picture, static_cast<uint32_t>(w));
    ok &= Put(root / "jpeg", std::to_string(w) + "x" + std::to_string(h), recorder::EncodeJpeg(picture));
  }
  if (!ok) std::fprintf(stderr, "could not write every seed under %s\n", argv[1]);
  return ok ? 0 : 1;
}
