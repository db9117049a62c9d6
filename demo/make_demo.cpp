// selfplay-make-demo STUB OUTPUT [SOUND.wav]
// Writes the demo recording behind a copy of the player stub, as an
// executable file. Without a sound file the sound track is generated tones.
#include <sys/stat.h>

#include <cstdio>
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s STUB OUTPUT [SOUND.wav]\n", argv[0]);
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
