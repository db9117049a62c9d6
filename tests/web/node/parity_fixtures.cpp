// web_parity_fixtures OUT_DIR
// Writes one recording per kind of JPEG the engine decodes (4:2:0, 4:2:2,
// 4:4:4, progressive, grey) and beside each, the native engine's picture at
// every tick as a hash, for the WebAssembly engine to match:
//   KIND.exe      the recording behind a zero stub
//   KIND.hashes   one line per tick: "TICK HASH", HASH the FNV-1a 64 of the
//                 picture's R, G, B bytes, rows top-down
//   tone.exe      2 s of tone at 11,025 Hz behind a short recording, and
//   tone.wav      that sound track as a WAV file
// Captions are left out: the browser draws them with its own fonts.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../../media/jpeg_writer.h"
#include "platform/bitmap.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "playback/seekable_playback.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace {

using sp::Bitmap;
using namespace sp::media_testing;
namespace recorder = sp::recorder;

struct Kind {
  const char* name;
  JpegRecipe recipe;
};

// 36 frames of 100 ms at 200 x 136 (sides that are no multiple of the MCU):
// bands of colour move, the cursor walks and changes its picture twice.
recorder::Recording Moving() {
  Bitmap screen(200, 136);
  recorder::FillTestPattern(screen, 11);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(100).FirstCursor(20, 30);
  for (int k = 1; k < 36; ++k) {
    recorder::FillRect(screen, {(k * 13) % 170, (k * 7) % 110, (k * 13) % 170 + 30, (k * 7) % 110 + 21},
                       0x102030u * static_cast<uint32_t>(k % 7) + 0x0F4080u);
    std::vector<uint8_t> icon;
    if (k == 12) icon = recorder::MakeIconFile(recorder::TextCursor());
    if (k == 24) icon = recorder::MakeIconFile(recorder::ArrowCursor());
    const bool still = k % 5 == 0;
    builder.AddFrame(screen, still ? std::nullopt
                                   : std::optional<recorder::CursorPosition>({20 + 4 * k, 30 + 2 * k}),
                     icon);
  }
  return builder.Build();
}

// The same picture as a JPEG of this kind.
std::vector<uint8_t> Recode(const std::vector<uint8_t>& jpeg, JpegRecipe recipe) {
  sp::MemoryStream in;
  in.Write(jpeg.data(), jpeg.size());
  in.Seek(0, sp::SeekOrigin::Begin);
  sp::JpegImage image;
  image.LoadFromStream(in);
  Bitmap picture;
  image.AssignTo(picture);
  recipe.width = picture.Width();
  recipe.height = picture.Height();
  return MakeJpeg(recipe, [&](int x, int y) { return picture.At(x, y); });
}

uint64_t Hash(const Bitmap& picture) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto add = [&h](uint8_t byte) { h = (h ^ byte) * 0x100000001b3ull; };
  for (int y = 0; y < picture.Height(); ++y) {
    const sp::Pixel* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      add(static_cast<uint8_t>(row[x] >> 16));
      add(static_cast<uint8_t>(row[x] >> 8));
      add(static_cast<uint8_t>(row[x]));
    }
  }
  return h;
}

bool WriteHashes(const std::string& recording, const std::string& path) {
  auto playback = sp::SeekablePlayback::Open(recording);
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return false;
  for (int64_t tick = 0; tick <= playback->LastTick(); ++tick) {
    std::fprintf(out, "%" PRId64 " %016" PRIx64 "\n", tick, Hash(playback->PictureAt(tick)));
  }
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: web_parity_fixtures OUT_DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const Kind kinds[] = {
      {"sampling-420", {.quality = 88, .lumaWide = 2, .lumaHigh = 2}},
      {"sampling-422", {.quality = 88, .lumaWide = 2, .lumaHigh = 1}},
      {"sampling-444", {.quality = 88, .lumaWide = 1, .lumaHigh = 1}},
      {"progressive", {.scans = JpegScans::Progressive, .quality = 85}},
      {"grey", {.color = JpegColor::Grey, .quality = 90}},
  };
  const recorder::Recording base = Moving();
  for (const Kind& kind : kinds) {
    recorder::Recording recording = base;
    recording.keyFrame = Recode(recording.keyFrame, kind.recipe);
    for (recorder::Frame& frame : recording.frames) {
      for (recorder::Block& block : frame.blocks) block.jpeg = Recode(block.jpeg, kind.recipe);
    }
    const std::string file = (dir / (std::string(kind.name) + ".exe")).string();
    if (!recorder::WriteFile(file, recorder::MakeSelfPlaying(recorder::ZeroStub(), recording)) ||
        !WriteHashes(file, (dir / (std::string(kind.name) + ".hashes")).string())) {
      std::fprintf(stderr, "cannot write %s\n", file.c_str());
      return 1;
    }
  }
  recorder::Recording tone = base;
  tone.wav = recorder::ToneWav(2.0);
  if (!recorder::WriteFile((dir / "tone.exe").string(), recorder::MakeSelfPlaying(recorder::ZeroStub(), tone)) ||
      !recorder::WriteFile((dir / "tone.wav").string(), tone.wav)) {
    std::fprintf(stderr, "cannot write the tone recording\n");
    return 1;
  }
  return 0;
}
