// selfplay-make-demo STUB OUTPUT [SOUND.wav]
// Writes the demo recording behind a copy of the player stub, as an
// executable file. Without a sound file the sound track is generated tones.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/demo_scene.h"
#include "recorder/test_media.h"

namespace {

bool ReadWhole(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

constexpr const char* kUsage = "usage: selfplay-make-demo STUB OUTPUT [SOUND.wav]\n";

constexpr const char* kHelp =
    "\n"
    "Writes the demo recording (an invented desktop on which a window is dragged,\n"
    "text typed and a menu opened, under a caption) behind a copy of the player\n"
    "STUB, as the executable file OUTPUT. The sound track is SOUND.wav, or\n"
    "generated tones without it.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "The exit status is 0 when OUTPUT was written, 1 when a file could not be read\n"
    "or written, and 2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("selfplay-make-demo %s\n", SELFPLAY_VERSION);
    return 0;
  }
  if (argc < 3 || argc > 4) {
    std::fputs(kUsage, stderr);
    std::fputs("Run `selfplay-make-demo --help` for more.\n", stderr);
    return 2;
  }
  std::vector<uint8_t> stub;
  if (!ReadWhole(argv[1], stub)) {
    std::fprintf(stderr, "cannot read the player stub %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> wav;
  if (argc == 4 && !ReadWhole(argv[3], wav)) {
    std::fprintf(stderr, "cannot read the sound file %s\n", argv[3]);
    return 1;
  }
  if (wav.empty()) wav = sp::recorder::ToneWav(6.0);
  const auto recording = sp::demo::MakeDemoRecording(std::move(wav));
  if (!sp::recorder::WriteFile(argv[2], sp::recorder::MakeSelfPlaying(stub, recording))) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  chmod(argv[2], 0755);
  return 0;
}
