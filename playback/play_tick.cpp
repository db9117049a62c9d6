#include "playback/play_tick.h"

#include <cstdint>
#include <string>

#include "app/play_form.h"
#include "payload/payload_reader.h"
#include "payload/sound_device.h"
#include "platform/application.h"
#include "playback/clock.h"
#include "playback/picture.h"
#include "playback/start_playback.h"

namespace sp {

namespace {

// The picture stays as it is and the clock stops; the window stays open.
void EndPlayback(TPlayForm& form) {
  SoundStop(form, SoundWait::kNoWait);
  form.Playing = false;
  StopClock();
}

void ApplyBlocks(TPlayForm& form, int32_t& m) {
  Stream& in = *form.RecordingStream;
  while (m > 0) {
    BlockHeader block = ReadBlockHeader(in);
    ReadImageItem(in, block.jpegSize, *form.JpegBuffer);
    form.JpegImage->LoadFromStream(*form.JpegBuffer);
    form.JpegBuffer->Clear();
    form.BlockBitmap = std::make_unique<Bitmap>();
    form.JpegImage->AssignTo(*form.BlockBitmap);
    // Placed by its left and top alone, clipped to the frame.
    form.FrameBitmap->GetCanvas().Draw(block.rect.left, block.rect.top, *form.BlockBitmap);
    form.BlockBitmap.reset();
    m = in.ReadInt32();
  }
}

void EndOfRecording(TPlayForm& form) {
  EndPlayback(form);
  if (!form.N3->checked) {
    // Unchecked, "exit automatically at the end" keeps the last frame shown.
    if (form.N7->checked) form.Close();
    return;
  }
  ReleasePlayback(form);
  form.FirstShow = true;
  StartPlayback(PlayForm ? *PlayForm : form);
}

void FrameStep(TPlayForm& form) {
  Stream& in = *form.RecordingStream;
  form.TickCount = 0;
  if (form.HasCursor == 1) {
    form.CursorX = form.NextCursorX;
    form.CursorY = form.NextCursorY;
    int32_t size = in.ReadInt32();
    if (size > 0) {
      ReadImageItem(in, size, *form.CursorStream);
      form.CursorImage->LoadFromStream(*form.CursorStream);
    }
  }

  int32_t m = in.ReadInt32();
  if (m > 0) form.SetCaption(std::to_string(m));
  try {
    ApplyBlocks(form, m);
  } catch (const DamagedRecording&) {
    form.App().ShowMessage(kDamagedRecordingText);
    EndPlayback(form);
    return;
  }

  DrawCaption(form);
  if (form.HasCursor == 1) {
    CursorPosition p = ReadCursorPosition(in);
    form.NextCursorX = static_cast<float>(p.x);
    form.NextCursorY = static_cast<float>(p.y);
  }
  PresentFrame(form);
  ++form.CurrentFrame;

  // m is the terminator, -k; 64 bits keep -INT32_MIN defined.
  if (-static_cast<int64_t>(m) == static_cast<int64_t>(form.FrameCount) - 1) EndOfRecording(form);
}

}  // namespace

void PlayTick(TPlayForm& form) {
  // A playback whose start failed half-way has no stream to go on with.
  if (!form.Playing || !form.RecordingStream) return;
  if (form.TickCount < INT32_MAX) ++form.TickCount;
  if (form.TickCount < form.TicksPerFrame) {
    if (form.StretchMode || form.HasCursor != 1) return;
    CursorStep(form, form.TickCount);
    return;
  }
  if (form.CurrentFrame < form.FrameCount) FrameStep(form);
}

}  // namespace sp
