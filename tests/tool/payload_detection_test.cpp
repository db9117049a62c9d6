// Without --offset the tool finds the payload as the viewer does.
#include "tests/tool/tool_fixture.h"

#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp::tool::testing {
namespace {

TEST_F(ToolTest, InfoFindsABarePayloadAndAStubbedOneWithoutOffset) {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 4);
  recorder::RecordingBuilder builder(screen);
  builder.AddFrame(screen);
  const recorder::Recording recording = builder.Build();

  WriteBytes(Path("bare.bin"), recorder::WritePayload(recording, 0));
  ToolRun run = Run({"info", Path("bare.bin")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("64"), std::string::npos) << run.out;

  WriteBytes(Path("stub.exe"), recorder::MakeSelfPlaying(recorder::ZeroStub(), recording));
  run = Run({"info", Path("stub.exe")});
  EXPECT_EQ(run.status, 0) << run.err;

  // An explicit offset is still obeyed, and a wrong one is still refused.
  run = Run({"info", "--offset", "0", Path("stub.exe")});
  EXPECT_NE(run.status, 0);
}

}  // namespace
}  // namespace sp::tool::testing
