#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/little_endian.h"

namespace sp {

// The items of a recording as they lie in the file, declared once for the
// reader and the recorder. Every field is stored little-endian, without
// alignment or padding; the asserts keep each record the size the file
// gives it.

// At PAYLOAD_OFFSET: 0, or the absolute file offset of the video stream.
struct LeadWordRecord {
  LeUInt32 VideoOffset;
};

// One node of the sound track's code tree.
struct HuffNodeRecord {
  LeInt32 weight;
  LeInt32 parent;
  LeInt32 one;   // child on a 1 bit; -1 in a leaf
  LeInt32 zero;  // child on a 0 bit; -1 in a leaf
};

struct VideoHeaderRecord {
  LeInt32 reserved0;
  LeInt32 FrameWidth;
  LeInt32 FrameHeight;
  LeInt32 FrameCount;
  LeInt32 reserved16;
  LeInt32 FrameInterval;  // milliseconds
  LeInt32 reserved24[3];
  LeInt32 HasCursor;  // 1: cursor items are present
};

// Two 20-byte fields behind the video header that nothing interprets.
struct SkippedFieldsRecord {
  uint8_t fields[2][20];
};

// Texts are code page 936, ended by the first zero byte or the field's end.
struct CaptionStyleRecord {
  char CaptionText[40];
  LeInt32 CaptionX;
  LeInt32 CaptionY;
  LeInt32 CaptionFontSize;  // points
  char CaptionFontName[20];
  LeUInt32 CaptionFontColor;  // 0x00BBGGRR
  // A style is on only when its byte is exactly 1.
  uint8_t CaptionBold;
  uint8_t CaptionItalic;
  uint8_t CaptionUnderline;
  uint8_t CaptionStrikeOut;
};

struct CursorPositionRecord {
  LeInt32 x;
  LeInt32 y;
};

// The size in front of every icon and JPEG item; for a cursor change, 0 or
// less keeps the picture.
struct ImageSizeRecord {
  LeInt32 size;
};

// A block's rectangle and JPEG size, behind the frame number that opened it.
struct BlockRecord {
  LeInt32 left;
  LeInt32 top;
  LeInt32 right;  // exclusive
  LeInt32 bottom;  // exclusive
  LeInt32 jpegSize;
};

// A frame number (> 0 opens a block) or a frame's terminator (-k).
struct FrameNumberRecord {
  LeInt32 value;
};

static_assert(sizeof(LeadWordRecord) == 4);
static_assert(sizeof(HuffNodeRecord) == 16);
static_assert(sizeof(VideoHeaderRecord) == 40);
static_assert(offsetof(VideoHeaderRecord, FrameWidth) == 4);
static_assert(offsetof(VideoHeaderRecord, FrameHeight) == 8);
static_assert(offsetof(VideoHeaderRecord, FrameCount) == 12);
static_assert(offsetof(VideoHeaderRecord, FrameInterval) == 20);
static_assert(offsetof(VideoHeaderRecord, HasCursor) == 36);
static_assert(sizeof(SkippedFieldsRecord) == 40);
static_assert(sizeof(CaptionStyleRecord) == 80);
static_assert(offsetof(CaptionStyleRecord, CaptionX) == 40);
static_assert(offsetof(CaptionStyleRecord, CaptionFontSize) == 48);
static_assert(offsetof(CaptionStyleRecord, CaptionFontName) == 52);
static_assert(offsetof(CaptionStyleRecord, CaptionFontColor) == 72);
static_assert(offsetof(CaptionStyleRecord, CaptionBold) == 76);
static_assert(offsetof(CaptionStyleRecord, CaptionStrikeOut) == 79);
static_assert(sizeof(CursorPositionRecord) == 8);
static_assert(sizeof(ImageSizeRecord) == 4);
static_assert(sizeof(BlockRecord) == 20);
static_assert(sizeof(FrameNumberRecord) == 4);

}  // namespace sp
