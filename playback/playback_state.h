#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "payload/payload_reader.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/form.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"

namespace sp {

class System;

// The playback's state, grouped by what owns it. PlaybackForm inherits every
// group, so each field keeps its own name on the form (form.FrameBitmap);
// code that needs one group alone can take it alone. All of it belongs to
// the GUI thread.

// Copied from the video header by StartPlayback; read by everything after.
struct HeaderValues {
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  int32_t FrameCount = 0;
  int32_t FrameInterval = 0;  // milliseconds
  int32_t HasCursor = 0;
  std::array<int32_t, 5> HeaderReserved{};  // stored, never read
};

// Copied from the caption style by StartPlayback.
struct CaptionValues {
  std::string CaptionText;  // UTF-8
  int32_t CaptionX = 0;
  int32_t CaptionY = 0;
  int32_t CaptionFontSize = 0;  // points
  std::string CaptionFontName;
  Color CaptionFontColor = 0;       // 0x00BBGGRR
  FontStyles CaptionFontStyle = 0;  // styles are only ever added
};

// The recorded cursor. Its stream and picture live from FormCreate to
// FormClose; positions are recorded-screen pixels, integers held as floats.
struct CursorState {
  std::unique_ptr<MemoryStream> CursorStream;
  std::unique_ptr<Icon> CursorImage;
  float CursorX = 0;
  float CursorY = 0;
  float NextCursorX = 0;
  float NextCursorY = 0;
};

// Live for one playback, from StartPlayback to ReleasePlayback.
struct PlaybackObjects {
  std::unique_ptr<sp::JpegImage> JpegImage;
  std::unique_ptr<Bitmap> FrameBitmap;
  std::unique_ptr<Bitmap> BlockBitmap;
  std::unique_ptr<Bitmap> CursorBackground;
  std::unique_ptr<FileStream> RecordingStream;
  std::unique_ptr<MemoryStream> JpegBuffer;
  // Reads RecordingStream item by item; made and freed with it.
  std::unique_ptr<PayloadReader> RecordingReader;
};

// The frame clock: its counters, and the multimedia timer that drives it.
// GUI thread only, except TickTarget (below).
struct ClockState {
  bool Playing = false;
  int32_t CurrentFrame = 0;  // frames shown so far: 1 after frame 0
  int32_t TickCount = 0;
  int32_t TicksPerFrame = 0;
  bool StretchMode = false;
  bool FirstShow = false;
  // The playback was stopped by damage (or its start failed): it shows what
  // it showed, and only a restart plays again.
  bool PlaybackStopped = false;

  // The running timer (0: none) and the back end that runs it, so that
  // StopClock needs nothing else. Set by StartClock, cleared by StopClock.
  uint32_t TimerId = 0;
  System* TimerSystem = nullptr;
  // All the timer thread reads: the back end whose send is safe from any
  // thread, and the window handle as the GUI thread last published it (0
  // once the form is gone; the cell outlives the form). The GUI thread
  // writes it before the timer starts and clears it only after
  // TimeKillEvent, after which no callback runs; in between the timer
  // thread only reads it, so it needs no lock.
  struct TimerTarget {
    System* system = nullptr;
    Form::SharedHandle window;
  };
  TimerTarget TickTarget;
};

// The sound device the playback owns.
struct SoundState {
  bool HasSound = false;  // a device is open and owned by the playback
  uint32_t SoundDevice = 0;
};

}  // namespace sp
