#include "playback/start_playback.h"

#include <cstdio>
#include <exception>

#include "payload/c_file.h"
#include "payload/payload_reader.h"
#include "platform/application.h"
#include "platform/file_io.h"
#include "platform/shell.h"
#include "playback/clock.h"
#include "playback/picture.h"
#include "playback/playback_form.h"

namespace sp {

namespace {

void TakeHeader(PlaybackForm& form, const VideoHeader& h) {
  form.FrameWidth = h.FrameWidth;
  form.FrameHeight = h.FrameHeight;
  form.FrameCount = h.FrameCount;
  form.FrameInterval = h.FrameInterval;
  form.HasCursor = h.HasCursor;
  form.HeaderReserved = h.Reserved();
}

// Steps 5 to 14: everything read from the video stream.
void ShowFrameZero(PlaybackForm& form, uint32_t videoOffset) {
  System& system = form.App().GetSystem();

  form.StretchMode = true;
  form.JpegImage = std::make_unique<sp::JpegImage>();
  form.FrameBitmap = std::make_unique<Bitmap>();
  form.CursorBackground = std::make_unique<Bitmap>();
  form.JpegBuffer = std::make_unique<MemoryStream>();
  form.RecordingStream = std::make_unique<FileStream>(form.App().ExeName());
  form.RecordingReader = std::make_unique<PayloadReader>(*form.RecordingStream);
  PayloadReader& in = *form.RecordingReader;
  form.RecordingStream->Seek(videoOffset, SeekOrigin::Begin);

  TakeHeader(form, in.ReadVideoHeader());
  // No picture of the recording may be larger than its screen.
  form.JpegImage->SetMaxSize(form.FrameWidth, form.FrameHeight);

  TakeCaptionStyle(form, in.ReadCaptionStyle());

  Size area = form.GetBorderStyle() == BorderStyle::None
                  ? system.ScreenSize()
                  : Size{form.ClientWidth(), form.ClientHeight()};
  if (!form.FitImage(area.width, area.height)) form.StretchMode = false;

  if (form.HasCursor == 1) {
    CursorPosition p = in.ReadFirstCursor(*form.CursorStream);
    form.CursorX = static_cast<float>(p.x);
    form.CursorY = static_cast<float>(p.y);
    form.CursorImage->LoadFromStreamDeferred(*form.CursorStream);
  }

  in.ReadKeyFrame(*form.JpegBuffer);
  DecodeImageItem(form, *form.FrameBitmap);

  if (!form.CaptionText.empty()) {
    SetCaptionFont(form.FrameBitmap->GetCanvas(), form);
    DrawCaption(form);
  }

  form.CurrentFrame = 1;
  form.TickCount = 0;
  in.ReadFrameZeroTerminator();
  form.CursorBackground->SetSize(form.CursorImage->Width(), form.CursorImage->Height());

  PresentFrame(form);

  if (form.HasCursor == 1) {
    const auto last = form.FrameCount == 1 ? PayloadReader::LastFrame::kYes
                                           : PayloadReader::LastFrame::kNo;
    std::optional<CursorPosition> next = in.ReadNextCursor(0, last);
    // A recording of one frame may end without its next position; the
    // cursor then stays where it is.
    if (!next) next = CursorPosition{static_cast<int32_t>(form.CursorX),
                                     static_cast<int32_t>(form.CursorY)};
    form.NextCursorX = static_cast<float>(next->x);
    form.NextCursorY = static_cast<float>(next->y);
  }
}

}  // namespace

void DecodeImageItem(PlaybackForm& form, Bitmap& into) {
  form.JpegImage->LoadFromStream(*form.JpegBuffer);
  form.JpegBuffer->Clear();
  form.JpegImage->AssignTo(into);
}

void StartPlayback(PlaybackForm& form) {
  if (!form.FirstShow) return;
  const Application& app = form.App();
  // Objects FormClose freed come back for a playback started after it.
  if (!form.CursorStream) form.CursorStream = std::make_unique<MemoryStream>();
  if (!form.CursorImage) form.CursorImage = std::make_unique<Icon>();

  CFile file(OpenForReading(app.ExeName()));
  if (!file) {
    app.ShowMessage(kCannotOpenPlayerText);
    return;
  }
  form.PlaybackStopped = false;
  uint32_t videoOffset = 0;
  try {
    videoOffset = ReadLeadWord(file.get());
  } catch (const std::exception&) {
    form.PlaybackStopped = true;
    throw;
  }
  // A device still held by a start that failed half-way is not left
  // behind; from here HasSound is set by a successful open alone.
  SoundStop(form, SoundWait::kWait);
  if (videoOffset != 0) {
    StartSoundTrack(form, file, videoOffset);
  } else {
    videoOffset = PAYLOAD_OFFSET + 4;
  }
  file.reset();

  try {
    ShowFrameZero(form, videoOffset);
  } catch (const DamagedRecording&) {
    app.ShowMessage(kDamagedRecordingText);
    SoundStop(form, SoundWait::kWait);
    ReleasePlayback(form);
    form.PlaybackStopped = true;
    return;
  } catch (const std::exception&) {
    // The framework shows the error; the sound of a playback that never
    // showed its frame 0 does not play on.
    SoundStop(form, SoundWait::kWait);
    form.PlaybackStopped = true;
    throw;
  }

  StartClock(form);
  form.Playing = true;
  form.FirstShow = false;
}

void ReleasePlayback(PlaybackForm& form) {
  form.FrameBitmap.reset();
  form.CursorBackground.reset();
  form.JpegImage.reset();
  form.RecordingReader.reset();
  form.RecordingStream.reset();
  form.JpegBuffer.reset();
}

void EndPlayback(PlaybackForm& form, SoundWait wait) {
  SoundStop(form, wait);
  form.Playing = false;
  // Before anything is freed: no tick may find the objects gone.
  StopClock(form);
}

void RestartPlayback(PlaybackForm& form, SoundWait wait) {
  EndPlayback(form, wait);
  ReleasePlayback(form);
  form.FirstShow = true;
  StartPlayback(form);
}

void StopPlaybackForDamage(PlaybackForm& form) {
  EndPlayback(form, SoundWait::kNoWait);
  form.PlaybackStopped = true;
}

}  // namespace sp
