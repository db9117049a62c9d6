#include "playback/start_playback.h"

#include <cstdio>

#include "app/play_form.h"
#include "payload/c_file.h"
#include "payload/payload_reader.h"
#include "payload/sound_device.h"
#include "platform/application.h"
#include "platform/file_io.h"
#include "platform/shell.h"
#include "playback/clock.h"
#include "playback/picture.h"

namespace sp {

namespace {

void TakeHeader(TPlayForm& form, const VideoHeader& h) {
  form.FrameWidth = h.FrameWidth;
  form.FrameHeight = h.FrameHeight;
  form.FrameCount = h.FrameCount;
  form.FrameInterval = h.FrameInterval;
  form.HasCursor = h.HasCursor;
  form.HeaderReserved = h.Reserved();
}

void TakeCaptionStyle(TPlayForm& form, const CaptionStyle& s) {
  form.CaptionText = s.CaptionText;
  form.CaptionX = s.CaptionX;
  form.CaptionY = s.CaptionY;
  form.CaptionFontSize = s.CaptionFontSize;
  form.CaptionFontName = s.CaptionFontName;
  // The high byte of a COLORREF selects a palette; on a 32-bit surface only
  // the colour remains.
  form.CaptionFontColor = s.CaptionFontColor & 0x00FFFFFF;
  if (s.CaptionBold == 1) form.CaptionFontStyle |= kFontBold;
  if (s.CaptionItalic == 1) form.CaptionFontStyle |= kFontItalic;
  if (s.CaptionUnderline == 1) form.CaptionFontStyle |= kFontUnderline;
  if (s.CaptionStrikeOut == 1) form.CaptionFontStyle |= kFontStrikeOut;
}

void SetCaptionFont(TPlayForm& form) {
  Canvas& canvas = form.FrameBitmap->GetCanvas();
  canvas.brush.style = BrushStyle::Clear;
  canvas.font.size = form.CaptionFontSize;
  if (!form.CaptionFontName.empty()) canvas.font.name = form.CaptionFontName;
  canvas.font.color = form.CaptionFontColor;
  canvas.font.style = form.CaptionFontStyle;
}

// Steps 5 to 14: everything read from the video stream.
void ShowFrameZero(TPlayForm& form, uint32_t videoOffset) {
  System& system = form.App().GetSystem();

  form.StretchMode = true;
  form.JpegImage = std::make_unique<sp::JpegImage>();
  form.FrameBitmap = std::make_unique<Bitmap>();
  form.CursorBackground = std::make_unique<Bitmap>();
  form.JpegBuffer = std::make_unique<MemoryStream>();
  form.RecordingStream = std::make_unique<FileStream>(form.App().ExeName());
  Stream& in = *form.RecordingStream;
  in.Seek(videoOffset, SeekOrigin::Begin);

  VideoHeader header = ReadVideoHeader(in);
  CheckVideoHeader(header);
  TakeHeader(form, header);
  // No picture of the recording may be larger than its screen.
  form.JpegImage->SetMaxSize(form.FrameWidth, form.FrameHeight);

  TakeCaptionStyle(form, ReadCaptionStyle(in));

  Size area = form.GetBorderStyle() == BorderStyle::None
                  ? system.ScreenSize()
                  : Size{form.ClientWidth(), form.ClientHeight()};
  if (!form.FitImage(area.width, area.height)) form.StretchMode = false;

  if (form.HasCursor == 1) {
    CursorPosition p = ReadCursorPosition(in);
    form.CursorX = static_cast<float>(p.x);
    form.CursorY = static_cast<float>(p.y);
    ReadImageItem(in, in.ReadInt32(), *form.CursorStream);
    form.CursorImage->LoadFromStream(*form.CursorStream);
  }

  ReadImageItem(in, in.ReadInt32(), *form.JpegBuffer);
  form.JpegImage->LoadFromStream(*form.JpegBuffer);
  form.JpegBuffer->Clear();
  form.JpegImage->AssignTo(*form.FrameBitmap);

  if (!form.CaptionText.empty()) {
    SetCaptionFont(form);
    DrawCaption(form);
  }

  form.CurrentFrame = 1;
  form.TickCount = 0;
  in.ReadInt32();  // frame 0's terminator
  form.CursorBackground->SetSize(form.CursorImage->Width(), form.CursorImage->Height());

  PresentFrame(form);

  if (form.HasCursor == 1) {
    CursorPosition p = ReadCursorPosition(in);
    form.NextCursorX = static_cast<float>(p.x);
    form.NextCursorY = static_cast<float>(p.y);
  }
}

}  // namespace

void StartPlayback(TPlayForm& form) {
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
  uint32_t videoOffset = ReadLeadWord(file.get());
  // A device still held by a start that failed half-way is not left
  // behind; from here HasSound is set by a successful open alone.
  SoundStop(form, SoundWait::kWait);
  if (videoOffset != 0) {
    StartSoundTrack(form, file);
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
    return;
  }

  StartClock(form);
  form.Playing = true;
  form.FirstShow = false;
}

void ReleasePlayback(TPlayForm& form) {
  form.FrameBitmap.reset();
  form.CursorBackground.reset();
  form.JpegImage.reset();
  form.RecordingStream.reset();
  form.JpegBuffer.reset();
}

}  // namespace sp
