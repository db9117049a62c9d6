#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "recorder/payload_writer.h"
#include "tools/file_util.h"
#include "tools/tool_main.h"

namespace sp::tool::testing {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A private folder per test; the tool runs in-process or as the built program.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tool-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  static ToolRun Run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = RunTool(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  // The program itself, through the shell, stdout and stderr kept apart.
  ToolRun RunProgram(const std::string& arguments, const std::string& environment = "") const {
    const std::string outPath = Path("program.out");
    const std::string errPath = Path("program.err");
    const std::string command = environment + " '" SELFPLAY_TOOL_PATH "' " + arguments + " >'" +
                                outPath + "' 2>'" + errPath + "'";
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
  }

  static std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
  }

  void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) const {
    ASSERT_TRUE(recorder::WriteFile(path, bytes));
  }

  std::filesystem::path dir;
};

struct Difference {
  int max = 0;       // of one colour channel
  double mean = 0;   // over every channel compared
};

// How far two pictures of one size differ, over the pixels outside `skip`.
inline Difference Compare(const Bitmap& a, const Bitmap& b, const std::vector<Rect>& skip = {}) {
  Difference d;
  int64_t sum = 0;
  int64_t count = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      bool skipped = false;
      for (const Rect& r : skip) skipped |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      if (skipped) continue;
      for (int shift = 0; shift < 24; shift += 8) {
        const int e = std::abs(static_cast<int>(a.At(x, y) >> shift & 0xFF) -
                               static_cast<int>(b.At(x, y) >> shift & 0xFF));
        d.max = std::max(d.max, e);
        sum += e;
        ++count;
      }
    }
  }
  d.mean = count ? static_cast<double>(sum) / count : 0.0;
  return d;
}

// The same over the pixels inside r only.
inline Difference CompareInside(const Bitmap& a, const Bitmap& b, const Rect& r) {
  return Compare(a, b, {{0, 0, a.Width(), r.top}, {0, r.bottom, a.Width(), a.Height()},
                        {0, r.top, r.left, r.bottom}, {r.right, r.top, a.Width(), r.bottom}});
}

// What JPEG at quality 90 may change: little on average, more at sharp edges.
constexpr double kJpegMeanError = 3.0;

}  // namespace sp::tool::testing
