#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bitmap.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/shown_screen.h"

namespace sp::recorder {

struct CursorPosition {
  int32_t x = 0;
  int32_t y = 0;
};

// Builds a Recording from whole pictures, as the recorder does: the first
// picture is the key frame, and every later picture becomes a frame record
// whose blocks are the bands of 16-pixel cells that differ from what the
// player will show (ShownScreen).
// Each added frame may give the cursor's top-left in that frame (else it
// stays where it was) and an icon file that becomes the cursor's picture
// from that frame on (empty keeps it). Build() turns the positions into the
// "position at the next frame" items of the layout (the last frame's next
// position repeats its own).
//
//   Bitmap screen(320, 240);
//   FillTestPattern(screen, 7);
//   RecordingBuilder builder(screen);
//   builder.FirstCursor(10, 20).Sound(ToneWav(2.0));
//   FillRect(screen, {40, 30, 90, 60}, 0xFF0000);
//   builder.AddFrame(screen, CursorPosition{15, 25});
//   builder.AddFrame(screen, std::nullopt, MakeIconFile(TextCursor()));
//   builder.AddFrame(screen);  // nothing changed: a frame without blocks
//   std::vector<uint8_t> file = MakeSelfPlaying(ZeroStub(), builder.Build());
//
// By default the recording has a cursor (the arrow icon at 0, 0), no sound,
// no caption and a FrameInterval of 1000 ms.
class RecordingBuilder {
 public:
  explicit RecordingBuilder(const Bitmap& keyFrame, int quality = 90);
  ~RecordingBuilder();

  RecordingBuilder& Sound(std::vector<uint8_t> wav);  // a whole WAV file
  RecordingBuilder& Interval(int32_t milliseconds);
  RecordingBuilder& Caption(CaptionStyle caption);
  // HasCursor 0: no cursor items at all.
  RecordingBuilder& NoCursor();
  // The cursor at frame 0; the icon file defaults to the arrow.
  RecordingBuilder& FirstCursor(int32_t x, int32_t y);
  RecordingBuilder& FirstCursor(int32_t x, int32_t y, std::vector<uint8_t> icon);

  // The next frame: blocks for the bands in which picture differs from what
  // the player shows (same size as the key frame required).
  RecordingBuilder& AddFrame(const Bitmap& picture, std::optional<CursorPosition> cursor = {},
                             std::vector<uint8_t> cursorIcon = {});
  // The next frame with exactly these blocks, written as given. The latest
  // picture is not changed by them; the next AddFrame repairs what they did
  // to the shown screen.
  RecordingBuilder& AddFrameBlocks(std::vector<Block> blocks,
                                   std::optional<CursorPosition> cursor = {},
                                   std::vector<uint8_t> cursorIcon = {});

  // The picture the player shows after the frames added so far (before
  // JPEG coding); a test may copy it, change it and add it.
  const Bitmap& Picture() const { return picture_; }
  // What the player shows after the frames added so far (caption and cursor aside).
  const Bitmap& Shown() const { return screen_->Shown(); }
  int32_t FrameCount() const { return static_cast<int32_t>(1 + recording_.frames.size()); }

  // The recording so far; fields may be changed further by the caller.
  Recording Build() const;

 private:
  void PushFrame(std::vector<Block> blocks, std::optional<CursorPosition> cursor,
                 std::vector<uint8_t> cursorIcon);

  int quality_;
  Recording recording_;
  std::vector<CursorPosition> positions_;  // one per frame, frame 0 first
  Bitmap picture_;
  std::unique_ptr<ShownScreen> screen_;
};

// The short form: keyFrame then every picture of later as frames 1, 2, ...
// with the builder's defaults.
Recording MakeRecording(const Bitmap& keyFrame, const std::vector<const Bitmap*>& later);

}  // namespace sp::recorder
