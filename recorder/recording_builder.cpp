#include "recorder/recording_builder.h"

#include "recorder/test_media.h"

namespace sp::recorder {

RecordingBuilder::RecordingBuilder(const Bitmap& keyFrame, int quality) : quality_(quality) {
  recording_.frameWidth = keyFrame.Width();
  recording_.frameHeight = keyFrame.Height();
  recording_.keyFrame = EncodeJpeg(keyFrame, {}, quality);
  recording_.cursorIcon = MakeIconFile(ArrowCursor());
  positions_.push_back({});
  CopyPixels(keyFrame, picture_);
  screen_ = std::make_unique<ShownScreen>(keyFrame, recording_.keyFrame);
}

RecordingBuilder::~RecordingBuilder() = default;

RecordingBuilder& RecordingBuilder::Sound(std::vector<uint8_t> wav) {
  recording_.wav = std::move(wav);
  return *this;
}

RecordingBuilder& RecordingBuilder::Interval(int32_t milliseconds) {
  recording_.frameInterval = milliseconds;
  return *this;
}

RecordingBuilder& RecordingBuilder::Caption(CaptionStyle caption) {
  recording_.caption = std::move(caption);
  return *this;
}

RecordingBuilder& RecordingBuilder::NoCursor() {
  recording_.hasCursor = 0;
  recording_.cursorIcon.clear();
  return *this;
}

RecordingBuilder& RecordingBuilder::FirstCursor(int32_t x, int32_t y) {
  return FirstCursor(x, y, MakeIconFile(ArrowCursor()));
}

RecordingBuilder& RecordingBuilder::FirstCursor(int32_t x, int32_t y, std::vector<uint8_t> icon) {
  recording_.hasCursor = 1;
  recording_.cursorIcon = std::move(icon);
  positions_.front() = {x, y};
  return *this;
}

RecordingBuilder& RecordingBuilder::AddFrame(const Bitmap& picture,
                                             std::optional<CursorPosition> cursor,
                                             std::vector<uint8_t> cursorIcon) {
  std::vector<Block> blocks = screen_->EncodeNext(picture, quality_);
  CopyPixels(picture, picture_);
  PushFrame(std::move(blocks), cursor, std::move(cursorIcon));
  return *this;
}

RecordingBuilder& RecordingBuilder::AddFrameBlocks(std::vector<Block> blocks,
                                                   std::optional<CursorPosition> cursor,
                                                   std::vector<uint8_t> cursorIcon) {
  screen_->Paste(blocks);
  PushFrame(std::move(blocks), cursor, std::move(cursorIcon));
  return *this;
}

void RecordingBuilder::PushFrame(std::vector<Block> blocks, std::optional<CursorPosition> cursor,
                                 std::vector<uint8_t> cursorIcon) {
  Frame frame;
  frame.blocks = std::move(blocks);
  frame.cursorIcon = std::move(cursorIcon);
  recording_.frames.push_back(std::move(frame));
  positions_.push_back(cursor.value_or(positions_.back()));
}

Recording RecordingBuilder::Build() const {
  Recording rec = recording_;
  rec.cursorX = positions_[0].x;
  rec.cursorY = positions_[0].y;
  const size_t last = positions_.size() - 1;
  const CursorPosition next = positions_[std::min<size_t>(1, last)];
  rec.nextCursorX = next.x;
  rec.nextCursorY = next.y;
  for (size_t k = 1; k <= rec.frames.size(); ++k) {
    const CursorPosition& p = positions_[std::min(k + 1, last)];
    rec.frames[k - 1].nextCursorX = p.x;
    rec.frames[k - 1].nextCursorY = p.y;
  }
  return rec;
}

Recording MakeRecording(const Bitmap& keyFrame, const std::vector<const Bitmap*>& later) {
  RecordingBuilder builder(keyFrame);
  for (const Bitmap* picture : later) builder.AddFrame(*picture);
  return builder.Build();
}

}  // namespace sp::recorder
