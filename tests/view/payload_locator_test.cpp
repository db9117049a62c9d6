#include "payload/payload_locator.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <cstring>
#include <optional>
#include <vector>

#include "payload/little_endian.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

// A Windows executable of two sections whose raw data ends at `imageEnd`,
// padded with zeros to `fileSize` (at least imageEnd).
std::vector<uint8_t> PeStub(uint32_t imageEnd, uint32_t fileSize) {
  std::vector<uint8_t> bytes(fileSize, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  const uint32_t peAt = 0x80;
  StoreLittleEndian<uint32_t>(&bytes[0x3C], peAt);
  std::memcpy(&bytes[peAt], "PE\0\0", 4);
  StoreLittleEndian<uint16_t>(&bytes[peAt + 4], 0x14C);  // i386
  StoreLittleEndian<uint16_t>(&bytes[peAt + 6], 2);      // sections
  const uint16_t optionalSize = 0xE0;
  StoreLittleEndian<uint16_t>(&bytes[peAt + 20], optionalSize);
  const uint32_t table = peAt + 24 + optionalSize;
  // .text from 0x400 to 0x1000; .data from 0x1000 to imageEnd.
  auto section = [&](int i, const char* name, uint32_t raw, uint32_t size) {
    uint8_t* s = &bytes[table + 40 * i];
    std::memcpy(s, name, std::strlen(name));
    StoreLittleEndian<uint32_t>(s + 16, size);
    StoreLittleEndian<uint32_t>(s + 20, raw);
  };
  section(0, ".data", 0x1000, imageEnd - 0x1000);  // listed first, lies last
  section(1, ".text", 0x400, 0xC00);
  return bytes;
}

recorder::Recording SmallRecording() {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 3);
  recorder::RecordingBuilder builder(screen);
  recorder::FillRect(screen, {8, 8, 24, 24}, 0xFF0000);
  builder.AddFrame(screen);
  builder.Sound(recorder::ToneWav(0.2));
  return builder.Build();
}

std::vector<uint8_t> Join(std::vector<uint8_t> stub, const std::vector<uint8_t>& payload) {
  stub.insert(stub.end(), payload.begin(), payload.end());
  return stub;
}

PayloadLocation Locate(const std::vector<uint8_t>& file) {
  ByteViewStream stream(file);
  return LocatePayload(stream);
}

// Where each kind of file carries its payload.
TEST(PayloadLocator, FindsThePayloadOfEveryKindOfFile) {
  const recorder::Recording recording = SmallRecording();

  const std::vector<uint8_t> pe =
      Join(PeStub(0x5600, 0x5600), recorder::WritePayload(recording, 0x5600));
  PayloadLocation at = Locate(pe);
  EXPECT_EQ(at.offset, 0x5600u);
  EXPECT_EQ(at.source, PayloadSource::kPeOverlay);
  EXPECT_EQ(at.head.header.FrameWidth, 64);

  // A Windows stub padded to the known size: its overlay is zeros, and the
  // payload lies behind the padding.
  const std::vector<uint8_t> padded =
      Join(PeStub(0x5600, PAYLOAD_OFFSET), recorder::WritePayload(recording));
  at = Locate(padded);
  EXPECT_EQ(at.offset, PAYLOAD_OFFSET);
  EXPECT_EQ(at.source, PayloadSource::kStubSize);

  at = Locate(recorder::MakeSelfPlaying(recorder::ZeroStub(), recording));
  EXPECT_EQ(at.offset, PAYLOAD_OFFSET);
  EXPECT_EQ(at.source, PayloadSource::kStubSize);
  EXPECT_NE(at.head.leadWord, 0u);

  at = Locate(recorder::WritePayload(recording, 0));
  EXPECT_EQ(at.offset, 0u);
  EXPECT_EQ(at.source, PayloadSource::kBare);
  EXPECT_EQ(at.head.header.FrameHeight, 48);
}

TEST(PayloadLocator, PeOverlayIsTheLargestSectionEnd) {
  std::vector<uint8_t> pe = PeStub(0x3000, 0x3000);
  ByteViewStream stream(pe);
  EXPECT_EQ(PeOverlayOffset(stream), 0x3000u);
}

// Writes a field into a copy of a file; the bounds check also tells the
// compiler that the copy is not empty.
template <class T>
void Patch(std::vector<uint8_t>& file, size_t at, T value) {
  if (at + sizeof(T) > file.size()) throw std::out_of_range("patch past the end");
  StoreLittleEndian<T>(file.data() + at, value);
}

// Headers that lie about sizes give no overlay and no crash.
TEST(PayloadLocator, HostilePeHeadersGiveNoOverlay) {
  std::vector<uint8_t> pe = PeStub(0x3000, 0x3000);
  std::vector<uint8_t> farSignature = pe;
  Patch<uint32_t>(farSignature, 0x3C, 0xFFFFFFF0u);
  std::vector<uint8_t> manySections = pe;
  Patch<uint16_t>(manySections, 0x80 + 6, 0xFFFF);
  std::vector<uint8_t> rawPastEnd = pe;
  Patch<uint32_t>(rawPastEnd, 0x80 + 24 + 0xE0 + 16, 0x7FFFFFFF);
  std::vector<uint8_t> cut(pe.begin(), pe.begin() + 0x90);
  for (const std::vector<uint8_t>* file : {&farSignature, &manySections, &rawPastEnd, &cut}) {
    ByteViewStream stream(*file);
    EXPECT_FALSE(PeOverlayOffset(stream).has_value());
  }
}

// The fault of a file refused, whichever kind it is.
std::optional<ItemFault> FaultOf(const std::vector<uint8_t>& file) {
  try {
    Locate(file);
  } catch (const PayloadEndError& e) {
    return e.Fault();
  } catch (const DamagedRecording& e) {
    return e.Fault();
  }
  return std::nullopt;
}

// A file that holds no recording is refused with the item and offset of
// what is wrong at the place it most likely meant.
TEST(PayloadLocator, RefusalNamesTheItemAndOffset) {
  std::optional<ItemFault> fault = FaultOf(std::vector<uint8_t>(4000, 'a'));
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->item, "lead word");
  EXPECT_NE(fault->message.find("past the end of the file"), std::string::npos) << fault->message;

  std::vector<uint8_t> zeros(4000, 0);
  fault = FaultOf(zeros);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->item, "video header");
  EXPECT_NE(fault->message.find("frame width 0 at offset 8"), std::string::npos) << fault->message;

  // A stub whose payload has a zero-wide screen: the fault is the stub's.
  recorder::Recording recording = SmallRecording();
  std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(), recording);
  const uint32_t video = LoadLittleEndian<uint32_t>(&file[PAYLOAD_OFFSET]);
  StoreLittleEndian<int32_t>(&file[video + 4], 0);
  file[0] = 0x7F;
  std::memcpy(&file[1], "ELF", 3);
  fault = FaultOf(file);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->item, "video header");
  EXPECT_NE(fault->message.find("frame width 0 at offset " + Thousands(video + 4)),
            std::string::npos)
      << fault->message;

  // A stub cut before its payload.
  std::vector<uint8_t> shortStub = recorder::ZeroStub(1000);
  shortStub[0] = 'M';
  shortStub[1] = 'Z';
  EXPECT_THROW(Locate(shortStub), PayloadEndError);
}

// A lead word that points into its own sound track is no recording's.
TEST(PayloadLocator, LeadWordInsideTheSoundTrackIsRefused) {
  std::vector<uint8_t> bare = recorder::WritePayload(SmallRecording(), 0);
  // Put a playable video header copy 100 bytes in and point at it.
  const uint32_t video = LoadLittleEndian<uint32_t>(&bare[0]);
  std::memcpy(&bare[100], &bare[video], 40);
  StoreLittleEndian<uint32_t>(&bare[0], 100);
  EXPECT_THROW(Locate(bare), DamagedRecording);
}

}  // namespace
}  // namespace sp
