#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/headless/headless_player.h"
#include "platform/headless/headless_system.h"

namespace sp {

// The bytes of a recording whose payload begins at oldStubSize, behind
// `stub` instead: the lead word, an absolute file offset of the video
// stream, moves by the difference of the sizes (0, no sound track, stays 0).
// The caller has checked that the lead word lies behind the old stub and
// that the result fits the 32-bit lead word.
std::vector<uint8_t> PayloadBehindStub(const std::vector<uint8_t>& recording, uint32_t oldStubSize,
                                       const std::vector<uint8_t>& stub);

// A recording started on the headless back end at a screen of its frame's
// size, as export and thumbnail play it. The player reads its payload at
// the offset compiled into it, so a recording behind a stub of another size,
// or one the caller changed (`bytes`), plays from a copy behind zero bytes
// of that size, written into tempDir, where the player's sound file goes too.
struct HeadlessStart {
  std::string path;
  uint32_t payloadOffset = 0;
  std::optional<std::vector<uint8_t>> bytes;  // the recording's bytes, when not the file's
  std::string tempDir;                        // ends with the separator
  int screenWidth = 0;
  int screenHeight = 0;
};

class HeadlessRun {
 public:
  explicit HeadlessRun(const HeadlessStart& start);
  HeadlessRun(const HeadlessRun&) = delete;
  HeadlessRun& operator=(const HeadlessRun&) = delete;

  // Why the player does not show frame 0, in words for the user; none when it does.
  const std::optional<std::string>& StartFailure() const { return startFailure_; }
  HeadlessSystem& System() { return system_; }
  HeadlessPlayer& Player() { return *player_; }
  // The file the player plays: the recording, or its copy.
  const std::string& PlayPath() const { return playPath_; }

 private:
  HeadlessSystem system_;
  std::string playPath_;
  std::unique_ptr<HeadlessPlayer> player_;
  std::optional<std::string> startFailure_;
};

}  // namespace sp
