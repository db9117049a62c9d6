#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/media/undecodable_block.h"
#include "tool_fixture.h"
#include "tools/html_output.h"

namespace sp::tool::testing {
namespace {

TEST(Base64, TheStandardVectors) {
  auto of = [](const std::string& s) { return Base64(std::vector<uint8_t>(s.begin(), s.end())); };
  EXPECT_EQ(of(""), "");
  EXPECT_EQ(of("f"), "Zg==");
  EXPECT_EQ(of("fo"), "Zm8=");
  EXPECT_EQ(of("foo"), "Zm9v");
  EXPECT_EQ(of("foob"), "Zm9vYg==");
  EXPECT_EQ(of("fooba"), "Zm9vYmE=");
  EXPECT_EQ(of("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64({0xFF, 0xFE, 0x00}), "//4A");
}

// A built web player's folder with stand-in files, and a short recording.
class HtmlExport : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    web = dir / "web";
    std::filesystem::create_directories(web);
    for (const char* name : {"selfplay-player.js", "selfplay-worker.js", "selfplay-player-engine.js",
                             "selfplay-seek-bar.js"}) {
      WriteText(web / name, std::string("// ") + name + "\n");
    }
    WriteText(web / "selfplay-player.css", "selfplay-player { display: block; }\n/* </style> */\n");
    WriteBytes((web / "selfplay-player.wasm").string(), {0x00, 0x61, 0x73, 0x6D, 1, 0, 0, 0});
    Bitmap screen(64, 48);
    recorder::FillTestPattern(screen, 4);
    recorder::RecordingBuilder builder(screen);
    builder.Interval(200);
    for (int k = 1; k < 12; ++k) {
      recorder::FillRect(screen, {k * 4, k * 3, k * 4 + 16, k * 3 + 16}, 0x3050F0u + 0x0A0000u * k);
      builder.AddFrame(screen);
    }
    bytes = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
    WriteBytes(Path("lesson.exe"), bytes);
  }

  void WriteText(const std::filesystem::path& path, const std::string& text) const {
    WriteBytes(path.string(), std::vector<uint8_t>(text.begin(), text.end()));
  }

  ToolRun Export(const std::string& arguments) const {
    return RunProgram("export " + arguments, "SELFPLAY_WEB_DIR='" + web.string() + "'");
  }

  std::filesystem::path web;
  std::vector<uint8_t> bytes;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(HtmlExport, OnePageHoldsThePlayerAndTheRecordingAndNeverOverwrites) {
  const std::string page = Path("lesson.html");
  ToolRun run = Export("'" + Path("lesson.exe") + "' --html '" + page + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string html = ReadText(page);
  EXPECT_EQ(Count(html, "<selfplay-player "), 1u);
  EXPECT_NE(html.find(">" + Base64(bytes) + "</script>"), std::string::npos) << "the recording, whole";
  EXPECT_NE(html.find(">" + Base64(ReadWholeFile((web / "selfplay-player.wasm").string())) + "</script>"),
            std::string::npos);
  EXPECT_NE(html.find("data-part=\"selfplay-seek-bar.js\""), std::string::npos) << "the player's parts";
  EXPECT_NE(html.find("selfplay-player { display: block; }"), std::string::npos) << "the CSS inline";
  EXPECT_EQ(Count(html, "</style>"), 1u) << "nothing in the CSS ends its element";
  EXPECT_EQ(html.find("http"), std::string::npos) << "nothing is fetched";
  EXPECT_NE(html.find("<title>lesson.exe</title>"), std::string::npos);

  run = Export("'" + Path("lesson.exe") + "' --html '" + page + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("exists already"), std::string::npos) << run.err;
  run = Export("'" + Path("lesson.exe") + "' --html '" + page + "' --force --progress json");
  EXPECT_EQ(run.status, 0) << run.err;
  // The progress lines go where the messages go.
  EXPECT_NE(run.err.find("\"outputs\":[\"" + page + "\"]"), std::string::npos) << run.err;
}

TEST_F(HtmlExport, OutDirWritesOnePagePerRecording) {
  WriteBytes(Path("second.exe"), bytes);
  const ToolRun run = Export("'" + Path("lesson.exe") + "' '" + Path("second.exe") + "' --out-dir '" +
                             Path("pages") + "' --format html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "pages" / "lesson.html"));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "pages" / "second.html"));
}

TEST_F(HtmlExport, WhatCannotBecomeAPageIsNamedAndNothingIsWritten) {
  // No player in the folder SELFPLAY_WEB_DIR names.
  ToolRun run = RunProgram("export '" + Path("lesson.exe") + "' --html '" + Path("a.html") + "'",
                           "SELFPLAY_WEB_DIR='" + dir.string() + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("SELFPLAY_WEB_DIR names"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("no built web player"), std::string::npos) << run.err;

  WriteText(dir / "notes.txt", std::string(600000, 'x'));
  run = Export("'" + Path("notes.txt") + "' --html '" + Path("b.html") + "'");
  EXPECT_EQ(run.status, 1);

  // Cut inside its frames: refused, and with --salvage a page that plays up to the cut.
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - static_cast<long>((bytes.size() - PAYLOAD_OFFSET) / 3));
  WriteBytes(Path("cut.exe"), cut);
  run = Export("'" + Path("cut.exe") + "' --html '" + Path("c.html") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("offset"), std::string::npos) << run.err;
  run = Export("'" + Path("cut.exe") + "' --html '" + Path("c.html") + "' --salvage");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("plays up to the damage"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "c.html"));
  for (const char* name : {"a.html", "b.html"}) {
    EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  }
}

// A block drawn over whole by the next frame, whose data does not decode:
// the page would find it only while playing, so the export names it.
TEST_F(HtmlExport, DamageInABlockNoPictureShowsIsFoundBeforeThePageIsWritten) {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 4);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200);
  for (int k = 1; k < 12; ++k) builder.AddFrame(screen);
  recorder::Recording recording = builder.Build();
  media_testing::AddCoveredUndecodableBlock(recording, 6, {0, 0, 16, 16});
  WriteBytes(Path("hidden.exe"), recorder::MakeSelfPlaying(recorder::ZeroStub(), recording));

  ToolRun run = Export("'" + Path("hidden.exe") + "' --html '" + Path("h.html") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("frame 6: block"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "h.html"));
}

}  // namespace
}  // namespace sp::tool::testing
