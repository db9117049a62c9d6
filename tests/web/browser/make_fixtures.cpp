// web_browser_fixtures OUT_DIR [--long]
// Writes the recordings the browser tests open, and the native engine's
// pictures of them as raw RGBA (w * h * 4 bytes, rows top-down), which the
// browser's pictures must equal. With --long, also the 15-minute and
// 1-hour 1920 x 1080 recordings of the browser figures.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "playback/seekable_playback.h"
#include "recorder/long_recording.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/media/undecodable_block.h"

namespace {

using sp::Bitmap;
namespace recorder = sp::recorder;

constexpr int kRate = 11025;

// An 8-bit mono PCM WAV file of these samples.
std::vector<uint8_t> Wav(const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> out;
  auto text = [&](const char* s) { out.insert(out.end(), s, s + 4); };
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { out.push_back(v & 0xFF); out.push_back(static_cast<uint8_t>(v >> 8)); };
  text("RIFF"); u32(static_cast<uint32_t>(36 + samples.size())); text("WAVE");
  text("fmt "); u32(16); u16(1); u16(1); u32(kRate); u32(kRate); u16(1); u16(8);
  text("data"); u32(static_cast<uint32_t>(samples.size()));
  out.insert(out.end(), samples.begin(), samples.end());
  return out;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (recorder::WriteFile(path, bytes)) return true;
  std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return false;
}

// What the native engine shows at `ms`, as RGBA.
bool WritePicture(const std::string& recording, int64_t ms, const std::string& path) {
  auto playback = sp::SeekablePlayback::Open(recording);
  const Bitmap& picture = playback->PictureAt(playback->TickAt(ms));
  std::vector<uint8_t> rgba;
  rgba.reserve(static_cast<size_t>(picture.Width()) * picture.Height() * 4);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const sp::Pixel p = picture.At(x, y);
      rgba.insert(rgba.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                               static_cast<uint8_t>(p), 255});
    }
  }
  return Write(path, rgba);
}

// 20 s, a frame a second: a band of the picture and the cursor move in each.
recorder::Recording Lesson(std::vector<uint8_t> sound) {
  Bitmap screen(640, 400);
  recorder::FillTestPattern(screen, 3);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(1000).FirstCursor(100, 80).Sound(std::move(sound));
  for (int k = 1; k < 20; ++k) {
    recorder::FillRect(screen, {16 * k, 32 + 8 * k, 16 * k + 160, 32 + 8 * k + 96},
                       0x203040 + 0x0A0604 * static_cast<uint32_t>(k));
    builder.AddFrame(screen, recorder::CursorPosition{100 + 20 * k, 80 + 10 * k});
  }
  return builder.Build();
}

// The lesson with a block in frame 12 whose header reads but whose scans are
// more than a picture may have, drawn over whole by frame 13: only reading
// every block through finds that the recording ends before frame 12.
recorder::Recording HiddenDamage() {
  recorder::Recording recording = Lesson(recorder::ToneWav(20.0));
  sp::media_testing::AddCoveredUndecodableBlock(recording, 12, {0, 0, 16, 16});
  return recording;
}

// 4 s of changes and tones, 10 s where nothing moves and all is quiet, 4 s more.
recorder::Recording Idle() {
  std::vector<uint8_t> samples = recorder::ToneSamples(4 * kRate, 5);
  samples.resize(14 * kRate, 128);
  const auto tail = recorder::ToneSamples(4 * kRate, 6);
  samples.insert(samples.end(), tail.begin(), tail.end());
  Bitmap screen(640, 400);
  recorder::FillTestPattern(screen, 4);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(1000).FirstCursor(50, 50).Sound(Wav(samples));
  for (int k = 1; k < 18; ++k) {
    const bool moving = k < 4 || k >= 14;
    if (moving) recorder::FillRect(screen, {32 * k % 480, 64, 32 * k % 480 + 128, 192}, 0x305080 + 0x0C0804 * static_cast<uint32_t>(k));
    builder.AddFrame(screen, moving ? std::optional(recorder::CursorPosition{50 + 25 * k, 50 + 12 * k})
                                    : std::nullopt);
  }
  return builder.Build();
}

// A 1920 x 1080 recording of `seconds`, a frame a second, with tones.
recorder::Recording Long(int seconds) {
  return recorder::LongScreenRecording(seconds, recorder::LongSound::kTone);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--long")) {
    std::fprintf(stderr, "usage: %s OUT_DIR [--long]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  std::filesystem::create_directories(dir);
  try {
    const std::string lesson = dir + "/lesson.exe";
    std::vector<recorder::ItemMark> marks;
    const auto lessonBytes = recorder::MakeSelfPlaying(recorder::ZeroStub(), Lesson(recorder::ToneWav(20.0)), &marks);
    if (!Write(lesson, lessonBytes)) return 1;
    for (int64_t ms : {0, 5000, 6000, 15000}) {
      if (!WritePicture(lesson, ms, dir + "/lesson-" + std::to_string(ms) + ".rgba")) return 1;
    }
    // Cut inside frame 12's block: frames 0 .. 11 play.
    auto cut = std::find_if(marks.begin(), marks.end(), [](const recorder::ItemMark& m) { return m.item == "frame 12: block 0"; });
    if (cut == marks.end()) throw std::runtime_error("no frame 12 in the lesson");
    if (!Write(dir + "/damaged.exe", {lessonBytes.begin(), lessonBytes.begin() + static_cast<long>(cut->offset) + 10})) return 1;
    if (!Write(dir + "/hidden-damage.exe", recorder::MakeSelfPlaying(recorder::ZeroStub(), HiddenDamage()))) return 1;
    if (!Write(dir + "/idle.exe", recorder::MakeSelfPlaying(recorder::ZeroStub(), Idle()))) return 1;
    const std::string notes = "Meeting notes, not a recording.\n";
    if (!Write(dir + "/notes.txt", {notes.begin(), notes.end()})) return 1;
    if (argc == 3) {
      if (!Write(dir + "/long-15min.exe", recorder::MakeSelfPlaying(recorder::ZeroStub(), Long(15 * 60)))) return 1;
      if (!Write(dir + "/long-1h.exe", recorder::MakeSelfPlaying(recorder::ZeroStub(), Long(60 * 60)))) return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
