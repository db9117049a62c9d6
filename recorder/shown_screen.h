#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "recorder/change_detection.h"
#include "recorder/payload_writer.h"

namespace sp::recorder {

// Decodes a JPEG with the player's own decoder, as its frame step does;
// JpegError when it refuses it.
void DecodeAsPlayer(const std::vector<uint8_t>& jpeg, Bitmap& picture);

// The JPEG's 4:2:0 coding unit: 16 x 16 pixels from the picture's top-left.
constexpr int kCodingUnit = 16;

// What the player will show, kept beside the pictures it stands for, so
// that each new picture is packed against the decoded screen instead of
// against the previous source picture. Coding errors at the edges of
// earlier blocks would otherwise stay on screen for good (a dragged window
// leaves faint lines behind on a gradient).
//
// The screen is tracked in 16 x 16 cells on the JPEG's own grid. A cell is
// sent when its source pixels changed. The decoder's smooth chroma
// upsampling reaches one sample into the neighbouring cells, so a cell
// beside a changed one may now show colour bled from what used to be next
// to it: such a cell is sent too when its error against the new picture
// has grown past what a fresh JPEG of that picture gives there. Cells to
// send are grown into bands of whole cells (so every block's edges lie on
// the grid the key frame was coded on), listed top to bottom without
// overlapping rows.
//
//   ShownScreen screen(first, keyJpeg);
//   std::vector<Block> blocks = screen.EncodeNext(second, 90);
class ShownScreen {
 public:
  // The key frame's picture and its JPEG as written. Under
  // ChangeRule::kVisible a cell is sent once it differs visibly from the
  // picture last sent for it, so that small steps add up.
  ShownScreen(const Bitmap& keyFrame, const std::vector<uint8_t>& keyJpeg,
              ChangeRule rule = ChangeRule::kExact);
  ShownScreen(const ShownScreen&) = delete;
  ShownScreen& operator=(const ShownScreen&) = delete;

  // The bands of cells that `next` needs sent (same size as the key frame
  // required); the tracker is not changed.
  std::vector<Rect> BandsToSend(const Bitmap& next, int quality) const;

  // The blocks for next, as the player will paste them; the shown screen
  // and the source both move on to next.
  std::vector<Block> EncodeNext(const Bitmap& next, int quality);

  // Blocks written as given by someone else: pasted onto the shown screen as
  // the player would (a block the decoder refuses changes nothing). The
  // source picture stays; the next frame repairs what they spoiled.
  void Paste(const std::vector<Block>& blocks);

  const Bitmap& Shown() const { return shown_; }

 private:
  struct CellError {
    double meanSquare = 0;  // over the cell's pixels and three channels
    int max = 0;            // of one channel
  };
  // Between source and picture over one cell.
  CellError Measure(const Bitmap& source, const Bitmap& picture, int column, int row) const;
  bool CellChanged(const Bitmap& next, int column, int row) const;
  Rect CellRect(int column, int row) const;
  void PasteJpeg(const std::vector<uint8_t>& jpeg, int left, int top);
  void MarkSuspect(const Rect& area);
  size_t Index(int column, int row) const { return static_cast<size_t>(row) * columns_ + column; }

  int columns_ = 0;
  int rows_ = 0;
  ChangeRule rule_ = ChangeRule::kExact;
  Bitmap source_;  // the picture each cell was last sent for
  Bitmap shown_;   // what the player shows for it
  std::vector<uint8_t> suspect_;  // cells pasted over by Paste, checked at the next frame
};

}  // namespace sp::recorder
