// orva-replay on traces orvasim writes: every read comes back as recorded, the
// modes it reports are the ones the driver set (and not the register states a mode
// set passes through), the palette writes after the last mode set are counted,
// and the chip identification and extension unlock of discovery are found.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli.h"

namespace orvasim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

fs::path scratch(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "orva_replay_test";
  fs::create_directories(dir);
  return dir / name;
}

int orvasim(std::vector<std::string> args) {
  args.insert(args.begin(), "orvasim");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  return runCli(static_cast<int>(argv.size()), argv.data(), out, err);
}

json replay(const std::string& chip, const fs::path& trace) {
  const std::string command =
      std::string(ORVA_REPLAY_PATH) + " --chip " + chip + " --trace '" + trace.string() + "' 2>&1";
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return json();
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
  return json::parse(text, nullptr, false);
}

struct Case {
  const char* chip;
  const char* output;
  const char* scenario;  // lines of a scenario file
  unsigned width, height, bpp;
  unsigned paletteWrites;  // 0x3C9 writes after the last mode set
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.chip << ' ' << c.output << ' ' << c.width << 'x' << c.height << 'x' << c.bpp;
}

class Replayed : public testing::TestWithParam<Case> {};

TEST_P(Replayed, ReportsTheModeTheDriverSet) {
  const Case& c = GetParam();
  const fs::path scenario = scratch(std::string(c.chip) + ".scn");
  const fs::path trace = scratch(std::string(c.chip) + ".jsonl");
  std::ofstream(scenario) << c.scenario;
  ASSERT_EQ(orvasim({"--chip", c.chip, "--output", c.output, "--trace", trace.string(), "run",
                     scenario.string()}),
            0);
  const json report = replay(c.chip, trace);
  ASSERT_TRUE(report.is_object());
  EXPECT_GT(report["events"].get<unsigned>(), 100u);
  EXPECT_EQ(report["read_mismatches"], 0) << report.value("first_mismatch", "");
  EXPECT_GT(report["id_reads"].get<unsigned>(), 0u);
  EXPECT_GT(report["unlock_line"].get<unsigned>(), 0u);
  const json wanted = {{"width", c.width}, {"height", c.height}, {"bpp", c.bpp}};
  ASSERT_FALSE(report["mode_sets"].empty());
  EXPECT_EQ(report["mode_sets"].back()["mode"], wanted) << report["mode_sets"].dump();
  for (const json& set : report["mode_sets"]) {
    // Every packed-pixel mode listed is one a mode set ends in, not a step on the way.
    if (set["mode"]["bpp"] != 0) {
      EXPECT_EQ(set["mode"], wanted) << report["mode_sets"].dump();
    }
  }
  EXPECT_EQ(report["width"], c.width);
  EXPECT_EQ(report["height"], c.height);
  EXPECT_EQ(report["bpp"], c.bpp);
  EXPECT_EQ(report["dac_writes_after_last_mode_set"], c.paletteWrites);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Replayed,
    testing::Values(Case{"bramble", "MONITOR", "set-mode 800x600x16\n", 800, 600, 16, 0},
                    Case{"pinto", "MONITOR", "set-mode 640x480x24\n", 640, 480, 24, 0},
                    Case{"kestrel", "MONITOR", "set-mode 1024x768x8\npalette 0 rgb332\n", 1024, 768,
                         8, 768},
                    Case{"bramble-rx", "TVPAL", "set-mode 640x480x16\n", 640, 480, 16, 0},
                    Case{"mistral", "TFTPHILIPSHLD1201", "set-mode 800x600x8\npalette 0 rgb332\n",
                         800, 600, 8, 768}));

}  // namespace
}  // namespace orvasim
