#include "playback/play_tick.h"

#include <cstdint>
#include <exception>
#include <string>

#include "payload/payload_reader.h"
#include "platform/application.h"
#include "playback/picture.h"
#include "playback/playback_form.h"
#include "playback/sound_device.h"
#include "playback/start_playback.h"

namespace sp {

namespace {

// The frame record's items as the frame step uses them.
class FrameStepEvents : public FrameRecordEvents {
 public:
  explicit FrameStepEvents(PlaybackForm& form) : form_(form) {}

  void CursorChange(const ImageItem&) override {
    // Decoded where it is drawn: in squeezed mode, never.
    form_.CursorImage->LoadFromStreamDeferred(*form_.CursorStream);
  }

  // The window title shows the frame's number; frames without blocks leave
  // it as it was.
  void FirstBlockNumber(int32_t frameNumber) override {
    form_.SetCaption(std::to_string(frameNumber));
  }

  void Block(const BlockItem& block) override {
    form_.BlockBitmap = std::make_unique<Bitmap>();
    DecodeImageItem(form_, *form_.BlockBitmap);
    // Placed by its left and top alone, clipped to the frame.
    form_.FrameBitmap->GetCanvas().Draw(block.rect.left, block.rect.top, *form_.BlockBitmap);
    form_.BlockBitmap.reset();
  }

 private:
  PlaybackForm& form_;
};

void EndOfRecording(PlaybackForm& form) {
  if (form.LoopChecked()) {
    RestartPlayback(form, SoundWait::kNoWait);
    return;
  }
  EndPlayback(form, SoundWait::kNoWait);
  // Unchecked, "exit automatically at the end" keeps the last frame shown.
  if (form.ExitAtEndChecked()) form.Close();
}

void FrameStep(PlaybackForm& form) {
  PayloadReader& in = *form.RecordingReader;
  form.TickCount = 0;
  const bool hasCursor = form.HasCursor == 1;
  if (hasCursor) {
    form.CursorX = form.NextCursorX;
    form.CursorY = form.NextCursorY;
  }
  const int32_t k = form.CurrentFrame;
  FrameStepEvents events(form);
  const FrameRecordEnd end = in.ReadFrameRecord(
      k, hasCursor,
      k == form.FrameCount - 1 ? PayloadReader::LastFrame::kYes : PayloadReader::LastFrame::kNo,
      *form.CursorStream, *form.JpegBuffer, events);

  DrawCaption(form);
  if (end.next) {
    form.NextCursorX = static_cast<float>(end.next->x);
    form.NextCursorY = static_cast<float>(end.next->y);
  }
  PresentFrame(form);
  ++form.CurrentFrame;

  // The terminator is -k; 64 bits keep -INT32_MIN defined.
  if (-static_cast<int64_t>(end.terminator) == static_cast<int64_t>(form.FrameCount) - 1) {
    EndOfRecording(form);
  }
}

void Tick(PlaybackForm& form) {
  if (form.TickCount < INT32_MAX) ++form.TickCount;
  if (form.TickCount < form.TicksPerFrame) {
    if (form.StretchMode || form.HasCursor != 1) return;
    CursorStep(form, form.TickCount);
    return;
  }
  if (form.CurrentFrame < form.FrameCount) FrameStep(form);
}

}  // namespace

void PlayTick(PlaybackForm& form) {
  // A playback whose start failed half-way has no stream to go on with.
  if (!form.Playing || !form.RecordingStream) return;
  try {
    Tick(form);
  } catch (const DamagedRecording&) {
    StopPlaybackForDamage(form);
    form.App().ShowMessage(kDamagedRecordingText);
  } catch (const std::exception&) {
    // Damage ends the playback where it is found: the picture stays, the
    // clock and the sound stop, and the framework's box says why, once.
    StopPlaybackForDamage(form);
    throw;
  }
}

}  // namespace sp
