// Writes the seed corpora of the fuzz targets, one folder per target, from
// recordings, sound tracks, icons and JPEGs as the recorder makes them.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "payload/little_endian.h"
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

// A Windows executable's headers and two sections, the image ending at
// `imageEnd`, without a byte more.
std::vector<uint8_t> PeImage(uint32_t imageEnd) {
  std::vector<uint8_t> bytes(imageEnd, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  const uint32_t peAt = 0x40;
  StoreLittleEndian<uint32_t>(&bytes[0x3C], peAt);
  std::memcpy(&bytes[peAt], "PE\0\0", 4);
  StoreLittleEndian<uint16_t>(&bytes[peAt + 4], 0x14C);
  StoreLittleEndian<uint16_t>(&bytes[peAt + 6], 2);
  const uint16_t optionalSize = 0xE0;
  StoreLittleEndian<uint16_t>(&bytes[peAt + 20], optionalSize);
  const uint32_t table = peAt + 24 + optionalSize;
  auto section = [&](int i, const char* name, uint32_t raw, uint32_t size) {
    uint8_t* s = &bytes[table + 40 * i];
    std::memcpy(s, name, std::strlen(name));
    StoreLittleEndian<uint32_t>(s + 16, size);
    StoreLittleEndian<uint32_t>(s + 20, raw);
  };
  section(0, ".data", 0x300, imageEnd - 0x300);  // listed first, lies last
  section(1, ".text", 0x200, 0x100);
  return bytes;
}

std::vector<uint8_t> Join(std::vector<uint8_t> front, const std::vector<uint8_t>& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
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

  // The viewer's model, the locator and the tool's report find the payload
  // themselves: bare (its lead word counted from 0) or behind a Windows
  // executable's image.
  shape = {.width = 64, .height = 48, .frames = 6, .rectsPerFrame = 3, .interval = 80, .soundSeconds = 0.05};
  const recorder::Recording small = hardening::MakeRealisticRecording(1, shape);
  for (const char* target : {"seek", "info"}) {
    ok &= Put(root / target, "small", recorder::WritePayload(small, 0));
    ok &= Put(root / target, "no-cursor", recorder::WritePayload(noCursor, 0));
  }
  shape.frames = 3;
  shape.soundSeconds = 0.02;
  const recorder::Recording tiny = hardening::MakeRealisticRecording(4, shape);
  constexpr uint32_t kImageEnd = 0x400;
  ok &= Put(root / "locate", "pe-overlay", Join(PeImage(kImageEnd), recorder::WritePayload(tiny, kImageEnd)));
  ok &= Put(root / "locate", "bare", recorder::WritePayload(tiny, 0));
  ok &= Put(root / "locate", "pe-alone", PeImage(kImageEnd));
  ok &= Put(root / "info", "pe-overlay", Join(PeImage(kImageEnd), recorder::WritePayload(tiny, kImageEnd)));
  ok &= Put(root / "seek", "pe-overlay", Join(PeImage(kImageEnd), recorder::WritePayload(tiny, kImageEnd)));

  ok &= Put(root / "sound", "tone", recorder::EncodeSoundTrack(recorder::ToneWav(0.05, 5)));
  std::mt19937 rng(9);
  std::geometric_distribution<int> skew(0.2);
  std::vector<uint8_t> skewed(600);
  for (uint8_t& b : skewed) b = static_cast<uint8_t>(std::min(skew(rng), 255));
  ok &= Put(root / "sound", "skewed", recorder::EncodeSoundTrack(skewed));

  // Tracks long enough for several checkpoints: a tone, and silence, which
  // codes to a bit a byte.
  ok &= Put(root / "sound-from-checkpoint", "tone", recorder::EncodeSoundTrack(recorder::ToneWav(8.0, 3)));
  std::vector<uint8_t> silence = recorder::ToneWav(9.0, 4);
  std::fill(silence.begin() + 44, silence.end(), uint8_t{0x80});
  ok &= Put(root / "sound-from-checkpoint", "silence", recorder::EncodeSoundTrack(silence));
  ok &= Put(root / "sound-from-checkpoint", "skewed", recorder::EncodeSoundTrack(skewed));

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
