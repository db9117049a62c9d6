#include "recorder/shown_screen.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/canvas.h"
#include "platform/errors.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/images.h"
#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

// How much worse than a fresh JPEG an unchanged cell may show before it is
// sent again: a mean square ratio with a floor (in 8-bit levels squared)
// for nearly perfect cells, and a step for a single bright line of bleed.
constexpr double kDriftRatio = 1.25;
constexpr double kDriftFloor = 0.5;
constexpr int kDriftMaxStep = 16;

int Channel(Pixel p, int shift) { return static_cast<int>(p >> shift & 0xFF); }

}  // namespace

void DecodeAsPlayer(const std::vector<uint8_t>& jpeg, Bitmap& picture) {
  MemoryStream stream;
  stream.Write(jpeg.data(), jpeg.size());
  stream.Seek(0, SeekOrigin::Begin);
  JpegImage image;
  image.LoadFromStream(stream);
  image.AssignTo(picture);
}

ShownScreen::ShownScreen(const Bitmap& keyFrame, const std::vector<uint8_t>& keyJpeg, ChangeRule rule)
    : rule_(rule) {
  CopyPixels(keyFrame, source_);
  shown_.SetSize(keyFrame.Width(), keyFrame.Height());
  columns_ = (keyFrame.Width() + kCodingUnit - 1) / kCodingUnit;
  rows_ = (keyFrame.Height() + kCodingUnit - 1) / kCodingUnit;
  suspect_.assign(static_cast<size_t>(columns_) * rows_, 0);
  PasteJpeg(keyJpeg, 0, 0);
}

Rect ShownScreen::CellRect(int column, int row) const {
  return Rect{column * kCodingUnit, row * kCodingUnit, (column + 1) * kCodingUnit, (row + 1) * kCodingUnit}
      .Intersect(shown_.Bounds());
}

ShownScreen::CellError ShownScreen::Measure(const Bitmap& source, const Bitmap& picture, int column,
                                            int row) const {
  const Rect r = CellRect(column, row);
  CellError e;
  int64_t sum = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    const Pixel* a = source.Row(y);
    const Pixel* b = picture.Row(y);
    for (int x = r.left; x < r.right; ++x) {
      if (a[x] == b[x]) continue;
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = std::abs(Channel(a[x], shift) - Channel(b[x], shift));
        sum += d * d;
        e.max = std::max(e.max, d);
      }
    }
  }
  e.meanSquare = static_cast<double>(sum) / (3.0 * r.Width() * r.Height());
  return e;
}

bool ShownScreen::CellChanged(const Bitmap& next, int column, int row) const {
  return AreaChanged(next, source_, CellRect(column, row), rule_);
}

std::vector<Rect> ShownScreen::BandsToSend(const Bitmap& next, int quality) const {
  if (next.Width() != source_.Width() || next.Height() != source_.Height()) {
    throw std::invalid_argument("ShownScreen: the pictures differ in size");
  }
  std::vector<uint8_t> send(suspect_.size(), 0);
  for (int row = 0; row < rows_; ++row) {
    for (int column = 0; column < columns_; ++column) send[Index(column, row)] = CellChanged(next, column, row);
  }

  // Unchanged cells that may show stale bleed: beside a changed cell, or
  // pasted over by someone else.
  std::vector<uint8_t> check(send.size(), 0);
  Rect around;  // in cells
  for (int row = 0; row < rows_; ++row) {
    for (int column = 0; column < columns_; ++column) {
      if (send[Index(column, row)]) continue;
      bool near = suspect_[Index(column, row)] != 0;
      for (int dy = -1; dy <= 1 && !near; ++dy) {
        for (int dx = -1; dx <= 1 && !near; ++dx) {
          const int c = column + dx, r = row + dy;
          near = c >= 0 && r >= 0 && c < columns_ && r < rows_ && send[Index(c, r)];
        }
      }
      if (!near) continue;
      check[Index(column, row)] = 1;
      around = around.Union({column, row, column + 1, row + 1});
    }
  }
  if (!around.IsEmpty()) {
    // A fresh JPEG of the picture around them, with a cell of context on
    // every side, so the checked cells decode exactly as in a whole frame.
    const Rect fresh = Rect{(around.left - 1) * kCodingUnit, (around.top - 1) * kCodingUnit,
                            (around.right + 1) * kCodingUnit, (around.bottom + 1) * kCodingUnit}
                           .Intersect(next.Bounds());
    Bitmap decoded;
    DecodeAsPlayer(EncodeJpeg(next, fresh, quality), decoded);
    Bitmap reference;  // the fresh pixels where the whole frame has them
    CopyPixels(shown_, reference);
    reference.GetCanvas().Draw(fresh.left, fresh.top, decoded);
    for (int row = around.top; row < around.bottom; ++row) {
      for (int column = around.left; column < around.right; ++column) {
        if (!check[Index(column, row)]) continue;
        const CellError best = Measure(next, reference, column, row);
        const CellError now = Measure(next, shown_, column, row);
        send[Index(column, row)] = now.meanSquare > best.meanSquare * kDriftRatio + kDriftFloor ||
                                   now.max > best.max + kDriftMaxStep;
      }
    }
  }

  std::vector<Rect> bands;
  Rect band;  // in cells while it grows
  for (int row = 0; row < rows_; ++row) {
    int first = columns_;
    int last = -1;
    for (int column = 0; column < columns_; ++column) {
      if (!send[Index(column, row)]) continue;
      first = std::min(first, column);
      last = column;
    }
    // A row joins the band above when their columns overlap; otherwise the
    // band would carry a wide stretch of unchanged cells.
    const bool joins = last >= 0 && !band.IsEmpty() && band.bottom == row && first < band.right &&
                       last + 1 > band.left;
    if (joins) {
      band.left = std::min(band.left, first);
      band.right = std::max(band.right, last + 1);
      band.bottom = row + 1;
      continue;
    }
    if (!band.IsEmpty()) bands.push_back(band);
    band = last >= 0 ? Rect{first, row, last + 1, row + 1} : Rect{};
  }
  if (!band.IsEmpty()) bands.push_back(band);
  for (Rect& b : bands) {
    b = Rect{b.left * kCodingUnit, b.top * kCodingUnit, b.right * kCodingUnit, b.bottom * kCodingUnit}
            .Intersect(next.Bounds());
  }
  return bands;
}

std::vector<Block> ShownScreen::EncodeNext(const Bitmap& next, int quality) {
  std::vector<Block> blocks;
  const std::vector<Rect> bands = BandsToSend(next, quality);
  std::fill(suspect_.begin(), suspect_.end(), 0);
  for (const Rect& band : bands) {
    for (int y = band.top; y < band.bottom; ++y) {
      std::copy(next.Row(y) + band.left, next.Row(y) + band.right, source_.Row(y) + band.left);
    }
    blocks.push_back({band, EncodeJpeg(next, band, quality), std::nullopt, std::nullopt});
    PasteJpeg(blocks.back().jpeg, band.left, band.top);
  }
  return blocks;
}

void ShownScreen::Paste(const std::vector<Block>& blocks) {
  for (const Block& block : blocks) {
    try {
      PasteJpeg(block.jpeg, block.rect.left, block.rect.top);
      MarkSuspect(block.rect.Intersect(shown_.Bounds()));
    } catch (const Error&) {
      // The player shows an error box for it and leaves its screen as it was.
    }
  }
}

// As the player's frame step does: decode at full size, draw at (left, top).
void ShownScreen::PasteJpeg(const std::vector<uint8_t>& jpeg, int left, int top) {
  Bitmap picture;
  DecodeAsPlayer(jpeg, picture);
  shown_.GetCanvas().Draw(left, top, picture);
}

void ShownScreen::MarkSuspect(const Rect& area) {
  if (area.IsEmpty()) return;
  for (int row = area.top / kCodingUnit; row * kCodingUnit < area.bottom; ++row) {
    for (int column = area.left / kCodingUnit; column * kCodingUnit < area.right; ++column) {
      suspect_[Index(column, row)] = 1;
    }
  }
}

}  // namespace sp::recorder
