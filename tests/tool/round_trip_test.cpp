// pack -> info / export / extract-sound / repack, through the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/bitmap.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/images.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/pack.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

using testing::Compare;
using testing::CompareInside;
using testing::kJpegMeanError;
using testing::ToolRun;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFrames = 6;

// The cursor's top-left per frame, as the track below gives it: frames 1
// and 4 have no row and keep the previous position.
const int kCursorX[kFrames] = {10, 10, 60, 90, 90, 130};
const int kCursorY[kFrames] = {20, 20, 40, 70, 70, 80};

class RoundTrip : public testing::ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    std::filesystem::create_directory(Path("pictures"));
    Bitmap screen(kWidth, kHeight);
    recorder::FillTestPattern(screen, 11);
    for (int k = 0; k < kFrames; ++k) {
      // A square moves right; frame 3 changes nothing.
      if (k > 0 && k != 3) recorder::FillRect(screen, {20 * k, 50, 20 * k + 24, 74}, 0x2040C0 + 0x100000 * k);
      if (k == 5) recorder::FillRect(screen, {0, 0, kWidth, 8}, 0xFFFFFF);
      char name[32];
      std::snprintf(name, sizeof name, "shot-%02d.png", k);
      WritePng(Path("pictures/") + name, screen);
    }
    WriteBytes(Path("text.ico"), recorder::MakeIconFile(recorder::TextCursor()));
    WriteText(Path("cursor.csv"),
              "frame,x,y,icon\n0,10,20\n2,60,40\n3,90,70,text.ico\n5,130,80\n");
    wav = recorder::ToneWav(0.75);
    WriteBytes(Path("voice.wav"), wav);
    WriteBytes(Path("stub"), recorder::ZeroStub());
  }

  void WriteText(const std::string& path, const std::string& text) const {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  }

  std::vector<std::string> PackArgs(const std::string& output, bool withExtras) const {
    std::vector<std::string> args = {"pack", "--frames", Path("pictures"), "--interval", "200",
                                     "--stub", Path("stub"), "-o", output};
    if (withExtras) {
      args.insert(args.end(), {"--cursor", Path("cursor.csv"), "--sound", Path("voice.wav"),
                               "--caption", "第一课", "--caption-pos", "4,100", "--font", "DejaVu Sans",
                               "--font-size", "9", "--font-color", "FF0000", "--bold"});
    }
    return args;
  }

  static void LoadPng(const std::string& path, Bitmap& bitmap) { ReadPng(path, bitmap); }

  std::string Picture(int k) const {
    char name[32];
    std::snprintf(name, sizeof name, "pictures/shot-%02d.png", k);
    return Path(name);
  }

  static std::string Frame(const std::string& folder, int k) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05d.png", k);
    return folder + name;
  }

  std::vector<uint8_t> wav;
};

TEST_F(RoundTrip, InfoReportsWhatWentIn) {
  const std::string out = Path("lesson.exe");
  const ToolRun pack = Run(PackArgs(out, true));
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_EQ(pack.out, "");
  EXPECT_EQ(pack.err, "");
  struct stat st{};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  const ToolRun json = Run({"info", "--json", out});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const std::string& part : std::vector<std::string>{
           "\"payloadOffset\":495616", "\"decodedLength\":" + std::to_string(wav.size()), "\"sampleRate\":11025",
        "\"channels\":1", "\"durationSeconds\":0.75", "\"frameWidth\":160", "\"frameHeight\":120",
        "\"frameCount\":6", "\"frameInterval\":200", "\"hasCursor\":1",
        "\"text\":\"第一课\",\"x\":4,\"y\":100,\"fontSize\":9,\"fontName\":\"DejaVu Sans\",\"fontColor\":\"FF0000\",\"bold\":true,\"italic\":false",
        "\"x\":10,\"y\":20,\"iconBytes\":766", "\"changes\":[{\"frame\":3,", "\"perFrame\":[1,1,0,1,2]",
        "\"damage\":null"}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
  }
  const ToolRun text = Run({"info", out});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("WAV PCM, 11,025 Hz, 8 bits, mono, 0.75 s"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("6, every 200 ms (5 ticks of 40 ms), 1.00 s"), std::string::npos) << text.out;
}

TEST_F(RoundTrip, ExportGivesBackEveryPictureAndExtractSoundTheWav) {
  const std::string out = Path("lesson.exe");
  ASSERT_EQ(Run(PackArgs(out, true)).status, 0);
  const ToolRun exported = Run({"export", out, "--frames", Path("frames")});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, "");
  EXPECT_FALSE(std::filesystem::exists(Frame(Path("frames"), kFrames)));
  for (int k = 0; k < kFrames; ++k) {
    SCOPED_TRACE("frame " + std::to_string(k));
    Bitmap input;
    Bitmap shown;
    LoadPng(Picture(k), input);
    LoadPng(Frame(Path("frames"), k), shown);
    ASSERT_EQ(shown.Width(), kWidth);
    ASSERT_EQ(shown.Height(), kHeight);
    const Rect cursor{kCursorX[k], kCursorY[k], kCursorX[k] + 32, kCursorY[k] + 32};
    const Rect caption{4, 100, 80, kHeight};
    EXPECT_LE(Compare(input, shown, {cursor, caption}).mean, kJpegMeanError);
    // The caption is drawn in red on every frame, the cursor over the picture.
    int red = 0;
    for (int y = caption.top; y < caption.bottom; ++y) {
      for (int x = caption.left; x < caption.right; ++x) red += shown.At(x, y) == 0xFF0000;
    }
    EXPECT_GT(red, 10);
    // The arrow (frames 0 to 2) and the text cursor (from frame 3) at the track's place.
    EXPECT_GT(CompareInside(input, shown, cursor).max, 100);
    if (k > 0 && k != 3) {
      const Rect square{20 * k, 50, 20 * k + 24, 74};
      EXPECT_LE(CompareInside(input, shown, square.Intersect(Rect{0, 0, kWidth, kHeight})).mean, kJpegMeanError * 2);
    }
  }

  const ToolRun sound = Run({"extract-sound", out, "-o", Path("out.wav")});
  ASSERT_EQ(sound.status, 0) << sound.err;
  EXPECT_EQ(ReadWholeFile(Path("out.wav")), wav);
}

TEST_F(RoundTrip, FramesWithoutCursorOrCaptionAreExactlyTheDecodedBlocks) {
  const std::string out = Path("plain.exe");
  ASSERT_EQ(Run(PackArgs(out, false)).status, 0);
  ASSERT_EQ(Run({"export", out, "--frames", Path("frames")}).status, 0);

  // The same recording as pack builds it, composed here block by block.
  PackOptions options;
  options.framesFolder = Path("pictures");
  options.interval = 200;
  const recorder::Recording rec = BuildRecording(options, ProgressBar::Output::Never);
  ASSERT_EQ(rec.frames.size(), size_t(kFrames - 1));
  // Our own decoder is a fair reference: the export must show what the
  // player shows, and the decoder is pinned separately against
  // libjpeg-turbo's djpeg (tests/media/jpeg_reference_test.cpp).
  auto decode = [](const std::vector<uint8_t>& jpeg, Bitmap& into) {
    MemoryStream stream;
    stream.Write(jpeg.data(), jpeg.size());
    stream.Seek(0, SeekOrigin::Begin);
    JpegImage image;
    image.LoadFromStream(stream);
    image.AssignTo(into);
  };
  Bitmap expected;
  decode(rec.keyFrame, expected);
  for (int k = 0; k < kFrames; ++k) {
    SCOPED_TRACE("frame " + std::to_string(k));
    if (k > 0) {
      for (const recorder::Block& block : rec.frames[k - 1].blocks) {
        Bitmap piece;
        decode(block.jpeg, piece);
        for (int y = 0; y < piece.Height(); ++y) {
          for (int x = 0; x < piece.Width(); ++x) expected.Set(block.rect.left + x, block.rect.top + y, piece.At(x, y));
        }
      }
    }
    Bitmap shown;
    LoadPng(Frame(Path("frames"), k), shown);
    EXPECT_EQ(Compare(expected, shown).max, 0);
    Bitmap input;
    LoadPng(Picture(k), input);
    EXPECT_LE(Compare(input, shown).mean, kJpegMeanError);
  }
  EXPECT_EQ(Run({"extract-sound", out, "-o", Path("none.wav")}).status, 1);
}

// A second export into the same folder: a shorter recording's pictures
// must not be followed by the earlier recording's last ones.
TEST_F(RoundTrip, FramesOfAnEarlierExportAreRefusedOrAllReplaced) {
  const std::string longer = Path("longer.exe");
  ASSERT_EQ(Run(PackArgs(longer, false)).status, 0);
  std::filesystem::create_directory(Path("first-three"));
  for (int k = 0; k < 3; ++k) {
    std::filesystem::copy_file(Picture(k), std::filesystem::path(Path("first-three")) / std::filesystem::path(Picture(k)).filename());
  }
  const std::string shorter = Path("shorter.exe");
  ASSERT_EQ(Run({"pack", "--frames", Path("first-three"), "--interval", "200", "--stub", Path("stub"), "-o", shorter}).status, 0);

  const std::string out = Path("out");
  ASSERT_EQ(Run({"export", longer, "--frames", out}).status, 0);
  WriteText(out + "/notes.txt", "mine");
  WriteText(out + "/frame_12.png", "not an exported name");
  std::filesystem::remove(Frame(out, 0));
  const ToolRun refused = Run({"export", shorter, "--frames", out});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("frame_00001.png exists already; --force overwrites it"), std::string::npos) << refused.err;

  const ToolRun forced = Run({"export", shorter, "--frames", out, "--force"});
  ASSERT_EQ(forced.status, 0) << forced.err;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"frame_00000.png", "frame_00001.png", "frame_00002.png", "frame_12.png",
                                              "notes.txt"}));
  Bitmap shown;
  Bitmap input;
  LoadPng(Frame(out, 2), shown);
  LoadPng(Picture(2), input);
  EXPECT_LE(Compare(input, shown).mean, kJpegMeanError);
}

TEST_F(RoundTrip, ARecordingForAnotherStubSizePlaysTheSameFramesAfterRepack) {
  PackOptions options;
  options.framesFolder = Path("pictures");
  options.interval = 200;
  options.cursorTrack = Path("cursor.csv");
  options.sound = Path("voice.wav");
  const recorder::Recording rec = BuildRecording(options, ProgressBar::Output::Never);
  const std::string original = Path("original.exe");
  const std::string foreign = Path("foreign.exe");
  WriteBytes(original, recorder::MakeSelfPlaying(recorder::ZeroStub(), rec));
  WriteBytes(foreign, recorder::MakeSelfPlaying(recorder::ZeroStub(300000), rec));

  EXPECT_EQ(Run({"info", foreign}).status, 1);
  EXPECT_EQ(Run({"info", "--offset", "300000", foreign}).status, 0);
  const ToolRun repack = Run({"repack", foreign, "--offset", "300000", "--stub", Path("stub"), "-o", Path("here.exe")});
  ASSERT_EQ(repack.status, 0) << repack.err;
  EXPECT_EQ(ReadWholeFile(Path("here.exe")), ReadWholeFile(original));
  struct stat st{};
  ASSERT_EQ(::stat(Path("here.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  ASSERT_EQ(Run({"export", original, "--frames", Path("a")}).status, 0);
  ASSERT_EQ(Run({"export", Path("here.exe"), "--frames", Path("b")}).status, 0);
  ASSERT_EQ(Run({"export", foreign, "--offset", "300000", "--frames", Path("c")}).status, 0);
  for (int k = 0; k < kFrames; ++k) {
    Bitmap a, b, c;
    LoadPng(Frame(Path("a"), k), a);
    LoadPng(Frame(Path("b"), k), b);
    LoadPng(Frame(Path("c"), k), c);
    EXPECT_EQ(Compare(a, b).max, 0) << k;
    EXPECT_EQ(Compare(a, c).max, 0) << k;
  }

  // A stub size that does not fit the file's lead word is refused.
  const ToolRun wrong = Run({"repack", foreign, "--offset", "4096", "--stub", Path("stub"), "-o", Path("x.exe")});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("lead word"), std::string::npos) << wrong.err;
  EXPECT_FALSE(std::filesystem::exists(Path("x.exe")));
}

TEST_F(RoundTrip, PackRefusesPicturesOfAnotherSizeAndCaptionsThatDoNotFit) {
  Bitmap odd(kWidth, kHeight + 1);
  WritePng(Path("pictures/shot-99.png"), odd);
  ToolRun run = Run(PackArgs(Path("x.exe"), false));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("shot-99.png: 160 x 121 pixels"), std::string::npos) << run.err;
  std::filesystem::remove(Path("pictures/shot-99.png"));

  std::vector<std::string> args = PackArgs(Path("x.exe"), false);
  args.insert(args.end(), {"--caption", std::string(41, 'x')});
  run = Run(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the field holds 40"), std::string::npos) << run.err;

  args = PackArgs(Path("x.exe"), false);
  args.insert(args.end(), {"--font", "Arial"});
  EXPECT_EQ(Run(args).status, 2);  // a font without a caption
  EXPECT_FALSE(std::filesystem::exists(Path("x.exe")));
}

TEST_F(RoundTrip, TheProgramPrintsOnlyTheResultOnStdout) {
  const std::string out = Path("lesson.exe");
  const std::string packArgs = "pack --frames '" + Path("pictures") + "' --interval 200 --cursor '" +
                               Path("cursor.csv") + "' --stub '" + Path("stub") + "' -o '" + out + "'";
  const ToolRun pack = RunProgram(packArgs);
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_EQ(pack.out, "");
  EXPECT_EQ(pack.err, "");  // no progress bar when stderr is not a terminal
  const ToolRun info = RunProgram("info '" + out + "'");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("160 x 120"), std::string::npos);
  EXPECT_EQ(info.err, "");
  const ToolRun cut = RunProgram("info --offset 999999999 '" + out + "'");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("lead word"), std::string::npos) << cut.err;
}

}  // namespace
}  // namespace sp::tool
