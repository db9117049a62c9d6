// Damaged recordings: info names the item and the file offset and fails;
// no command crashes on them.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/stream.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/inspect.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

using recorder::ItemMark;

struct Marked {
  std::vector<uint8_t> file;
  std::vector<ItemMark> marks;

  int64_t At(const std::string& item) const {
    for (const ItemMark& mark : marks) {
      if (mark.item == item) return mark.offset;
    }
    ADD_FAILURE() << "no item " << item;
    return 0;
  }
};

Marked SmallRecording() {
  Bitmap screen(48, 32);
  recorder::FillTestPattern(screen, 5);
  recorder::RecordingBuilder builder(screen);
  builder.Sound(recorder::ToneWav(0.05)).Interval(80).FirstCursor(3, 4);
  recorder::FillRect(screen, {8, 8, 24, 16}, 0xFF00FF);
  builder.AddFrame(screen, recorder::CursorPosition{9, 9});
  recorder::FillRect(screen, {0, 20, 48, 28}, 0x00FFFF);
  builder.AddFrame(screen, std::nullopt, recorder::MakeIconFile(recorder::TextCursor()));
  recorder::FillRect(screen, {30, 2, 40, 6}, 0x123456);
  builder.AddFrame(screen, recorder::CursorPosition{1, 2});
  Marked m;
  m.file = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build(), &m.marks);
  return m;
}

RecordingInfo InspectBytes(const std::vector<uint8_t>& file) {
  MemoryStream stream;
  stream.Write(file.data(), file.size());
  stream.Seek(0, SeekOrigin::Begin);
  return InspectRecording(stream);
}

bool HasWarning(const RecordingInfo& info, const std::string& words) {
  for (const std::string& w : info.warnings) {
    if (w.find(words) != std::string::npos) return true;
  }
  return false;
}

Damage InspectDamage(const std::vector<uint8_t>& file) {
  const RecordingInfo info = InspectBytes(file);
  if (!info.damage) {
    ADD_FAILURE() << "no damage found in " << file.size() << " bytes";
    return {};
  }
  return *info.damage;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> file, int64_t size) {
  file.resize(static_cast<size_t>(size));
  return file;
}

void PutInt32(std::vector<uint8_t>& file, int64_t at, int32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

int32_t GetInt32(const std::vector<uint8_t>& file, int64_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(file[at + i]) << (8 * i);
  return static_cast<int32_t>(v);
}

std::string FirstPart(const std::string& item) { return item.substr(0, item.find(':')); }

TEST(DamagedRecording, ACutAtAnyItemBoundaryNamesThatItemAndTheEndOfTheFile) {
  const Marked m = SmallRecording();
  for (const ItemMark& mark : m.marks) {
    if (mark.item == "lead word") continue;  // the cut leaves no payload at all
    if (mark.item == "frame 3: next cursor") {
      // The last frame's next position is never shown: the player plays
      // such a file to its end, and info only warns.
      const RecordingInfo info = InspectBytes(Cut(m.file, mark.offset));
      EXPECT_FALSE(info.damage);
      EXPECT_TRUE(HasWarning(info, "frame 3: next cursor: the file ends at offset " +
                                       Thousands(mark.offset)));
      continue;
    }
    const Damage damage = InspectDamage(Cut(m.file, mark.offset));
    // A cut before the sound track leaves the lead word pointing past the end.
    const std::string expected = mark.item == "sound track" ? "lead word" : FirstPart(mark.item);
    EXPECT_EQ(FirstPart(damage.item), expected) << damage.message;
    EXPECT_NE(damage.message.find("offset " + Thousands(mark.offset)), std::string::npos)
        << mark.item << ": " << damage.message;
  }
}

TEST(DamagedRecording, EveryShorterFileIsDamagedAtItsEnd) {
  const Marked m = SmallRecording();
  const int64_t payload = m.At("video header") - 64;
  const int64_t lastPosition = m.At("frame 3: next cursor");
  for (int64_t size = payload; size < static_cast<int64_t>(m.file.size()); size += 7) {
    if (size >= lastPosition) {
      EXPECT_TRUE(HasWarning(InspectBytes(Cut(m.file, size)), "offset " + Thousands(size))) << size;
      continue;
    }
    const Damage damage = InspectDamage(Cut(m.file, size));
    EXPECT_NE(damage.message.find("offset " + Thousands(size)), std::string::npos)
        << size << ": " << damage.message;
  }
}

TEST(DamagedRecording, ACutInsideABlockNamesTheBlockItsJpegAndWhereTheFileEnds) {
  const Marked m = SmallRecording();
  const int64_t block = m.At("frame 2: block 0");
  const int32_t size = GetInt32(m.file, block + 20);
  const Damage damage = InspectDamage(Cut(m.file, block + 24 + size / 2));
  EXPECT_EQ(damage.item, "frame 2: block 0");
  EXPECT_EQ(damage.offset, block + 24);
  EXPECT_EQ(damage.message, "frame 2: block 0: JPEG of " + Thousands(size) + " bytes at offset " +
                                Thousands(block + 24) + " runs past the end of the file at offset " +
                                Thousands(block + 24 + size / 2));
}

TEST(DamagedRecording, AFlippedSizeIsCaughtInItsOwnFrame) {
  const Marked m = SmallRecording();
  const int64_t sizeAt = m.At("frame 2: block 0") + 20;
  const int32_t size = GetInt32(m.file, sizeAt);
  for (const int32_t flipped : {size ^ (1 << 30), size ^ INT32_MIN, size ^ 1, size ^ 2, size ^ 0x100}) {
    std::vector<uint8_t> file = m.file;
    PutInt32(file, sizeAt, flipped);
    // The player reads on behind a JPEG of the wrong size, and so does
    // info: the misread shows in frame 2, as a warning or as the damage.
    const RecordingInfo info = InspectBytes(file);
    ASSERT_TRUE(info.damage) << flipped;
    const Damage& damage = *info.damage;
    EXPECT_TRUE(FirstPart(damage.item) == "frame 2" || HasWarning(info, "frame 2: "))
        << flipped << ": " << damage.message;
    EXPECT_GE(damage.offset, sizeAt) << damage.message;
  }
  std::vector<uint8_t> file = m.file;
  PutInt32(file, m.At("key frame"), GetInt32(file, m.At("key frame")) ^ (1 << 24));
  EXPECT_EQ(InspectDamage(file).item, "key frame");
}

TEST(DamagedRecording, HeaderSoundAndTerminatorFaultsNameTheirItem) {
  const Marked m = SmallRecording();
  struct Case {
    const char* name;
    int64_t at;
    int32_t value;
    const char* item;
    const char* words;
  };
  const int64_t sound = m.At("sound track");
  const int64_t header = m.At("video header");
  const Case cases[] = {
      {"lead word inside the tree", PAYLOAD_OFFSET, int32_t(PAYLOAD_OFFSET + 100), "lead word", "inside the sound track"},
      {"child outside the tree", sound + 510 * 16 + 8, 600, "sound track", "node 510 has the child 600"},
      {"child reached twice", sound + 510 * 16 + 12, GetInt32(m.file, sound + 510 * 16 + 8), "sound track",
       "reached twice"},
      {"decoded length too long", sound + int64_t(kHuffTreeBytes), 1 << 28, "sound track", "decoded bytes"},
      {"negative decoded length", sound + int64_t(kHuffTreeBytes), -1, "sound track", "is negative"},
      {"frame width", header + 4, 0, "video header", "frame width 0"},
      {"frame interval", header + 20, 39, "video header", "below 40 ms"},
      {"frame count", header + 12, 5, "frame 4: cursor change", "the file ends at offset"},
      {"cursor icon", m.At("frame 2: cursor change") + 4, 0x12345678, "frame 2: cursor change", "icon of 766 bytes"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = m.file;
    PutInt32(file, c.at, c.value);
    const Damage damage = InspectDamage(file);
    EXPECT_EQ(damage.item, c.item) << c.name << ": " << damage.message;
    EXPECT_NE(damage.message.find(c.words), std::string::npos) << c.name << ": " << damage.message;
  }
}

// Values the player plays as written are warnings with their item and
// offset, and the walk goes on to the end of the file.
TEST(DamagedRecording, ValuesThePlayerToleratesAreWarningsAndTheWalkGoesOn) {
  const Marked m = SmallRecording();
  struct Case {
    const char* name;
    int64_t at;
    int32_t value;
    std::string words;
  };
  const Case cases[] = {
      {"terminator", m.At("frame 1: terminator"), -2,
       "frame 1: terminator: terminator -2 at offset " + Thousands(m.At("frame 1: terminator")) +
           " instead of -1"},
      {"frame number", m.At("frame 3: block 0"), 4,
       "frame 3: block 0: frame number 4 at offset " + Thousands(m.At("frame 3: block 0")) +
           " instead of 3"},
      {"frame 0 terminator", m.At("frame 0 terminator"), 9, "frame 0 terminator: terminator 9 at offset"},
      {"last terminator", m.At("frame 3: terminator"), -2, "(the recording does not end by itself)"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = m.file;
    PutInt32(file, c.at, c.value);
    const RecordingInfo info = InspectBytes(file);
    EXPECT_FALSE(info.damage) << c.name << ": " << info.damage->message;
    EXPECT_TRUE(HasWarning(info, c.words)) << c.name;
    EXPECT_EQ(info.framesRead, 3) << c.name;
  }
}

using DamagedFileCommands = testing::ToolTest;
using testing::ToolRun;

TEST_F(DamagedFileCommands, InfoFailsWithTheMessageOnStderrAndNoCommandCrashes) {
  const Marked m = SmallRecording();
  std::vector<std::vector<uint8_t>> damaged;
  damaged.push_back(Cut(m.file, m.At("frame 2: cursor change")));      // at a frame boundary
  damaged.push_back(Cut(m.file, m.At("frame 2: block 0") + 40));       // inside a block
  damaged.push_back(Cut(m.file, m.At("sound track") + 9000));          // inside the sound
  std::vector<uint8_t> flipped = m.file;
  PutInt32(flipped, m.At("frame 1: block 0") + 20, GetInt32(flipped, m.At("frame 1: block 0") + 20) ^ 4);
  damaged.push_back(flipped);
  std::vector<uint8_t> garbage = m.file;
  for (size_t i = static_cast<size_t>(m.At("key frame")); i < garbage.size(); i += 13) garbage[i] ^= 0x5A;
  damaged.push_back(garbage);

  const std::string stub = Path("stub");
  WriteBytes(stub, recorder::ZeroStub());
  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE("damaged file " + std::to_string(i));
    const std::string file = Path("damaged.exe");
    WriteBytes(file, damaged[i]);
    const ToolRun info = Run({"info", file});
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.err.find("offset"), std::string::npos) << info.err;
    EXPECT_NE(info.out.find("stub"), std::string::npos);  // what was read before the damage
    const ToolRun json = Run({"info", "--json", file});
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.out.find("\"damage\":{\"item\":"), std::string::npos);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", file, "--frames", Path("frames")},
          {"extract-sound", file, "-o", Path("sound.wav")},
          {"repack", file, "--stub", stub, "-o", Path("repacked.exe")}}) {
      const ToolRun run = Run(args);
      EXPECT_TRUE(run.status == 0 || run.status == 1) << args[0] << ": " << run.err;
      if (run.status != 0) {
        EXPECT_NE(run.err, "") << args[0];
      } else if (args[0] == "repack") {
        // The copy keeps the damage, and says so.
        EXPECT_NE(run.err.find("warning: " + Path("repacked.exe") + " plays "), std::string::npos) << run.err;
      }
      std::filesystem::remove(Path("repacked.exe"));
    }
  }
}

TEST_F(DamagedFileCommands, InfoListsEveryProblemOfOneFileAndFailsOnlyOnDamage) {
  const Marked m = SmallRecording();
  std::vector<uint8_t> bytes = m.file;
  PutInt32(bytes, m.At("frame 1: block 0"), 7);
  PutInt32(bytes, m.At("frame 2: terminator"), -5);
  const std::string file = Path("two.exe");
  WriteBytes(file, bytes);
  const ToolRun info = Run({"info", file});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("warning     frame 1: block 0: frame number 7 at offset " +
                          Thousands(m.At("frame 1: block 0"))),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("warning     frame 2: terminator: terminator -5 at offset " +
                          Thousands(m.At("frame 2: terminator"))),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("in 3 of 3 frame records"), std::string::npos) << info.out;

  // Damage behind the warnings still fails the run, with the warnings listed.
  WriteBytes(file, Cut(bytes, m.At("frame 3: block 0") + 30));
  const ToolRun cut = Run({"info", file});
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find("frame number 7"), std::string::npos) << cut.out;
  EXPECT_NE(cut.err.find("frame 3: block 0"), std::string::npos) << cut.err;
}

}  // namespace
}  // namespace sp::tool
