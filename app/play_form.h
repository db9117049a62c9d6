#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/form.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"

namespace sp {

// WM_USER + 16: one tick of the frame clock, sent by TimerProc.
constexpr uint32_t WM_PLAY_TICK = 1040;

// The player window. Its fields are the whole playback state; the
// playback, sound and command code works on them directly.
class TPlayForm : public Form {
 public:
  explicit TPlayForm(Application& app);
  ~TPlayForm() override;

  ImageControl& Image1;
  std::vector<MenuItem>& PopupMenu1;
  // Items of PopupMenu1, in menu order N1, N2, N3, N4, N6, N5, N7, N8.
  MenuItem* N1 = nullptr;
  MenuItem* N2 = nullptr;
  MenuItem* N3 = nullptr;
  MenuItem* N4 = nullptr;
  MenuItem* N6 = nullptr;
  MenuItem* N5 = nullptr;
  MenuItem* N7 = nullptr;
  MenuItem* N8 = nullptr;

  // Live from FormCreate to FormClose.
  std::unique_ptr<MemoryStream> CursorStream;
  std::unique_ptr<Icon> CursorImage;

  // Recorded-screen pixels; integers stored as floats.
  float CursorX = 0;
  float CursorY = 0;
  float NextCursorX = 0;
  float NextCursorY = 0;

  std::string CaptionText;  // UTF-8
  int32_t CaptionX = 0;
  int32_t CaptionY = 0;
  int32_t CaptionFontSize = 0;  // points
  std::string CaptionFontName;
  Color CaptionFontColor = 0;  // 0x00BBGGRR
  FontStyles CaptionFontStyle = 0;  // styles are only ever added

  bool Playing = false;
  // A sound device is open and owned by the playback.
  bool HasSound = false;
  uint32_t SoundDevice = 0;

  // Live for one playback, from StartPlayback to ReleasePlayback or FormClose.
  std::unique_ptr<sp::JpegImage> JpegImage;
  std::unique_ptr<Bitmap> FrameBitmap;
  std::unique_ptr<Bitmap> BlockBitmap;
  std::unique_ptr<Bitmap> CursorBackground;
  std::unique_ptr<FileStream> RecordingStream;
  std::unique_ptr<MemoryStream> JpegBuffer;

  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  int32_t FrameCount = 0;
  int32_t FrameInterval = 0;  // milliseconds
  int32_t HasCursor = 0;
  std::array<int32_t, 5> HeaderReserved{};  // stored, never read

  int32_t CurrentFrame = 0;  // frames shown so far: 1 after frame 0
  int32_t TickCount = 0;
  int32_t TicksPerFrame = 0;
  bool StretchMode = false;
  bool FirstShow = false;

  void FormCreate();
  void FormShow();
  void FormResize();
  void FormClose();
  // Lays Image1 out in an area of the given size; true when the recording
  // overflows it in either direction.
  bool FitImage(int areaWidth, int areaHeight);

  void N1Click();
  void N3Click();
  void N4Click();
  void N6Click();
  void N7Click();
  void N8Click();

 protected:
  void OnCreate() override { FormCreate(); }
  void OnShow() override { FormShow(); }
  void OnResize() override { FormResize(); }
  void OnClose() override { FormClose(); }
  intptr_t Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
};

// The one form of the process.
extern TPlayForm* PlayForm;

}  // namespace sp
