// The shipped binaries against the host build: the same scenario on the same
// board must make the same bus trace and leave the same display memory.
// x86-64 orva.sys runs in this process; i686 orva.sys runs in the 32-bit
// harness, against the harness's own 32-bit host build (same record layouts)
// and, for every access the board sees, against this process's host build.
#include "differential.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace orva::loader::test {
namespace {

// Every chip variant with each output its keyword table offers it.
const BoardSetup kBoards[] = {
    {"pinto", "MONITOR"},
    {"pinto", std::nullopt},
    {"pinto", "TVPAL"},
    {"pinto", "TVNTSC"},
    {"pinto", "TVPALSVHS", "2M"},
    {"bramble", "MONITOR"},
    {"bramble", "TVPAL"},
    {"bramble", "TVNTSC269"},
    {"bramble", "100HZPAL"},
    {"bramble", "VGANTSC"},
    {"bramble-l", "MONITOR", "2M"},
    {"bramble-l", "TVPAL"},
    {"bramble-l", "TVNTSCINTERNAL"},
    {"mistral", "MONITOR"},
    {"mistral", "TVPAL"},
    {"mistral", "TFTPHILIPSHLD1201"},
    {"mistral", "TFTLGPHILIPSLM151X2", "8064K"},
    {"bramble-r", "MONITOR"},
    {"bramble-r", "TVNTSCSVHS"},
    {"kestrel", "MONITOR", "8064K"},
    {"kestrel", "TVPAL"},
    {"kestrel", "TFTPHILIPSHLD1201"},
    {"kestrel", "TFTLGPHILIPSLM151X2"},
    {"bramble-rx", "MONITOR"},
    {"bramble-rx", "TVPAL"},
    {"bramble-rx", "TVNTSC269SVHS"},
};

std::string testName(const testing::TestParamInfo<BoardSetup>& info) {
  std::string name = info.param.label() + "_" + info.param.memory;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// The scenario fits the host build's mode list for this board.
std::string scenarioFor(const BoardSetup& board, size_t* modeCount) {
  const auto modes = listModesHere(board);
  *modeCount = modes.size();
  return sessionScenario(modes);
}

// The scenario did what it is meant to: listed modes were set, others refused.
void expectExercised(const std::string& trace, size_t modeCount) {
  if (modeCount != 0) {
    EXPECT_NE(trace.find("\"op\":\"done\",\"code\":2294796,\"status\":0,"), std::string::npos)
        << "no mode set succeeded";
  }
  EXPECT_NE(trace.find("\"op\":\"done\",\"code\":2294796,\"status\":87,"), std::string::npos)
      << "no mode number was refused";
  EXPECT_NE(trace.find("\"op\":\"out\""), std::string::npos);
}

class ShippedBinary : public testing::TestWithParam<BoardSetup> {};

TEST_P(ShippedBinary, X86_64ImageMakesTheHostBuildsTraceAndPicture) {
  size_t modeCount = 0;
  const std::string scenario = scenarioFor(GetParam(), &modeCount);
  const Outcome host = runHere(GetParam(), scenario, "");
  const Outcome image = runHere(GetParam(), scenario, ORVA_SYS_X86_64);
  expectExercised(host.trace, modeCount);
  EXPECT_EQ(compareTraces(host.trace, image.trace), "");
  EXPECT_EQ(firstDifference(host.vram, image.vram), -1);
}

TEST_P(ShippedBinary, I686ImageMakesTheHostBuildsTraceAndPicture) {
  ASSERT_TRUE(runner32()) << "the 32-bit harness was built but cannot run (install qemu-user)";
  const TempFolder folder;
  ASSERT_FALSE(folder.path.empty());
  size_t modeCount = 0;
  std::string scenario = scenarioFor(GetParam(), &modeCount);
  // The harness leaves screenshots out; here one is written after the last
  // mode set, and the traces must not tell the difference.
  const std::filesystem::path shot = folder.path / "shot.png";
  if (modeCount != 0) scenario += "screenshot " + shot.string() + "\n";
  const std::filesystem::path file = folder.path / "scenario.scn";
  std::ofstream(file) << scenario;
  ASSERT_EQ(std::filesystem::file_size(file), scenario.size());

  Outcome host32, image32;
  try {
    host32 = runHarness32(GetParam(), file.string(), "");
    image32 = runHarness32(GetParam(), file.string(), ORVA_SYS_I686);
  } catch (const std::exception& e) {
    FAIL() << e.what();
  }
  expectExercised(image32.trace, modeCount);
  EXPECT_EQ(compareTraces(host32.trace, image32.trace), "");
  EXPECT_EQ(firstDifference(host32.vram, image32.vram), -1);

  // What the board saw does not depend on the pointer width at all.
  const Outcome host64 = runHere(GetParam(), scenario, "");
  EXPECT_EQ(std::filesystem::exists(shot), modeCount != 0);
  EXPECT_EQ(compareHardwareEvents(host64.trace, image32.trace), "");
  EXPECT_EQ(firstDifference(host64.vram, image32.vram), -1);
}

INSTANTIATE_TEST_SUITE_P(Boards, ShippedBinary, testing::ValuesIn(kBoards), testName);

}  // namespace
}  // namespace orva::loader::test
