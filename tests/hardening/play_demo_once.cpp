// One headless playback of the demo recording, start to end, for valgrind's
// memcheck (a CTest test). Exits 0 when the player closed itself at the end
// without a message box.
#include <cstdio>

#include "demo/demo_scene.h"
#include "recorder/payload_writer.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"

int main() {
  using namespace sp;
  hardening::ScratchDir dir("play-demo");
  const std::string exe = dir.File("DEMO.EXE");
  if (!recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(),
                                                          demo::MakeDemoRecording(recorder::ToneWav(2.0))))) {
    std::fprintf(stderr, "cannot write %s\n", exe.c_str());
    return 1;
  }
  const hardening::RunOutcome run =
      hardening::PlayHeadless(exe, dir.Path(), {.tickBudget = 100000, .screen = {1024, 768}});
  for (const MessageBoxRecord& box : run.boxes) std::fprintf(stderr, "box: %s\n", box.text.c_str());
  if (!run.closed || !run.boxes.empty()) {
    std::fprintf(stderr, "the demo did not play to its end (%d ticks)\n", run.ticks);
    return 1;
  }
  std::printf("played the demo: %d ticks\n", run.ticks);
  return 0;
}
