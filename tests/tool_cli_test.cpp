// orvasim as users run it: exit codes, the JSON mode list against the driver's own
// list, the bus trace file, the set report against the board, scenarios.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli.h"
#include "parse.h"
#include "png_writer.h"
#include "requests.h"

namespace orvasim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
  int code;
  std::string out, err;
};

Outcome orvasim(std::vector<std::string> args) {
  args.insert(args.begin(), "orvasim");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, out.str(), err.str()};
}

fs::path scratch(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "orvasim_cli_test";
  fs::create_directories(dir);
  return dir / name;
}

struct BadInput {
  std::vector<std::string> args;
  const char* mentions;  // the one-line message names the culprit
};

void PrintTo(const BadInput& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << a << ' ';
}

class BadInputExits2 : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputExits2, WithOneLineMessage) {
  const BadInput& c = GetParam();
  Outcome r = orvasim(c.args);
  EXPECT_EQ(r.code, kExitUsage) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
  EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInputExits2,
    testing::Values(BadInput{{"--chip", "pentium"}, "pentium"},
                    BadInput{{"--memory", "3000K"}, "3000K"},
                    BadInput{{"--memory", "lots"}, "lots"}, BadInput{{"--gbase", "0x1FF"}, "0x1FF"},
                    BadInput{{"--gbase", "zz"}, "zz"}, BadInput{{"frobnicate"}, "frobnicate"},
                    BadInput{{"--colour"}, "--colour"}, BadInput{{"set"}, "MODE"},
                    BadInput{{"set", "800x600"}, "800x600"},
                    BadInput{{"set", "800x600x32"}, "800x600x32"},  // not in the list
                    BadInput{{"set", "640x480x8@61"}, "60 70 75"},
                    BadInput{{"run", "/nonexistent/scenario.scn"}, "scenario"},
                    BadInput{{"set", "74", "screenshot"}, "--out"}));

TEST(Cli, UnknownScenarioLineNamesFileAndLine) {
  fs::path file = scratch("bad.scn");
  std::ofstream(file) << "query-num-modes\n# fine so far\npointer-move 10\n";
  Outcome r = orvasim({"run", file.string()});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_NE(r.err.find("bad.scn: line 3: pointer-move"), std::string::npos) << r.err;
}

TEST(Cli, HelpSucceedsAndNamesTheDefaultChip) {
  Outcome r = orvasim({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("default bramble"), std::string::npos);
  EXPECT_NE(r.out.find("run"), std::string::npos);
}

// The JSON list is the driver's list, entry for entry, every field under its name.
TEST(Cli, JsonModeListIsTheDriversList) {
  struct Board {
    std::string chip, output, memory;
  };
  for (const Board& b :
       {Board{"bramble", "", "4M"}, Board{"pinto", "TVPAL", "2M"},
        Board{"mistral", "TFTLGPHILIPSLM151X2", "8064K"}, Board{"unknown", "", "4M"}}) {
    std::vector<std::string> args = {"--json", "--chip", b.chip, "--memory", b.memory};
    if (!b.output.empty()) args.insert(args.end(), {"--output", b.output});
    args.push_back("modes");
    Outcome r = orvasim(args);
    ASSERT_EQ(r.code, 0) << r.err;
    json list = json::parse(r.out);

    orva::platform::BootOptions boot;
    boot.chip = b.chip;
    boot.memoryBytes = parseMemorySize(b.memory);
    if (!b.output.empty()) boot.output = b.output;
    auto session = orva::platform::boot(boot);
    auto reply = orva::platform::queryModes(*session);
    ASSERT_TRUE(reply.ok());
    ASSERT_EQ(list.size(), reply.value.size()) << b.chip;
    for (size_t i = 0; i < list.size(); ++i) {
      const VIDEO_MODE_INFORMATION& m = reply.value[i];
      // clang-format off
#define FIELD(name) {#name, m.name}
      const json expected = {
          FIELD(Length), FIELD(ModeIndex), FIELD(VisScreenWidth), FIELD(VisScreenHeight),
          FIELD(ScreenStride), FIELD(NumberOfPlanes), FIELD(BitsPerPlane), FIELD(Frequency),
          FIELD(XMillimeter), FIELD(YMillimeter), FIELD(NumberRedBits), FIELD(NumberGreenBits),
          FIELD(NumberBlueBits), FIELD(RedMask), FIELD(GreenMask), FIELD(BlueMask),
          FIELD(AttributeFlags), FIELD(VideoMemoryBitmapWidth), FIELD(VideoMemoryBitmapHeight),
          FIELD(DriverSpecificAttributeFlags)};
#undef FIELD
      // clang-format on
      EXPECT_EQ(list[i], expected) << b.chip << " mode " << i;
    }
  }
}

TEST(Cli, TraceFileIsJsonLinesOfTheDocumentedOps) {
  fs::path trace = scratch("trace.jsonl");
  Outcome r = orvasim(
      {"--chip", "pinto", "--output", "TVNTSC", "--trace", trace.string(), "set", "640x430x8"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::map<std::string, std::set<std::string>> fields = {
      {"map", {"space", "phys", "length"}},
      {"in", {"width", "port", "value"}},
      {"out", {"width", "port", "value"}},
      {"read", {"width", "addr", "value"}},
      {"write", {"width", "addr", "value"}},
      {"stall", {"us"}},
      {"registry-get", {"name", "found"}},
      {"registry-set", {"name", "length", "data"}},
      {"request", {"code", "input", "output_length"}},
      {"done", {"code", "status", "information", "output"}}};
  std::ifstream in(trace);
  std::string line;
  std::map<std::string, size_t> seen;
  std::vector<uint32_t> requests;
  while (std::getline(in, line)) {
    json event = json::parse(line);  // throws on anything but one object a line
    ASSERT_TRUE(event.is_object());
    std::string op = event.at("op");
    ASSERT_TRUE(fields.count(op)) << line;
    for (const std::string& field : fields.at(op)) EXPECT_TRUE(event.contains(field)) << line;
    ++seen[op];
    if (op == "request") requests.push_back(event["code"]);
  }
  // Discovery maps, reads the registry and publishes; the TV mode set stalls for the
  // encoder's reset pulse; every request has its status block.
  for (const char* op :
       {"map", "in", "out", "registry-get", "registry-set", "request", "done", "stall"})
    EXPECT_GT(seen[op], 0u) << op;
  EXPECT_EQ(seen["request"], seen["done"]);
  EXPECT_NE(std::find(requests.begin(), requests.end(), 0x23040Cu), requests.end());
}

// The set report reads the board: the same mode on another variant shows another
// device, and the numbers match the board's own views.
TEST(Cli, SetReportsWhatTheBoardDoes) {
  Outcome r = orvasim({"--json", "set", "800x600x8@60"});
  ASSERT_EQ(r.code, 0) << r.err;
  json report = json::parse(r.out);
  EXPECT_EQ(report["status"], 0);
  EXPECT_EQ(report["mode"]["width"], 800);
  const json& hw = report["hardware"];
  EXPECT_EQ(hw["display"]["width"], 800);
  EXPECT_EQ(hw["display"]["height"], 600);
  EXPECT_EQ(hw["display"]["bitsPerPixel"], 8);
  EXPECT_EQ(hw["display"]["pitch"], 800);
  EXPECT_EQ(hw["pixelClock"]["source"], "internal");
  EXPECT_NEAR(hw["timing"]["vRefreshHz"].get<double>(), 60.0, 1.0);
  EXPECT_EQ(hw["output"]["device"], "vga");
  EXPECT_FALSE(hw["cursor"]["visible"]);
  EXPECT_EQ(report["frameBuffer"]["visibleBytes"], 480000);
  EXPECT_EQ(report["frameBuffer"]["pointerArea"][0], 481280);
  EXPECT_EQ(report["frameBuffer"]["freeStart"], 486400);

  r = orvasim({"--json", "--chip", "bramble-rx", "--output", "TVNTSC269", "set", "720x480x16"});
  ASSERT_EQ(r.code, 0) << r.err;
  report = json::parse(r.out);
  const json& tv = report["hardware"]["output"];
  EXPECT_EQ(tv["device"], "tv-encoder");
  ASSERT_EQ(tv["tvEncoder"]["writes"].size(), 12u);
  EXPECT_EQ(tv["tvEncoder"]["writes"][0]["access"], "memory");
  EXPECT_EQ(tv["tvEncoder"]["writes"][5]["register"], 0x0A);
  EXPECT_EQ(tv["tvEncoder"]["writes"][5]["value"], 0x22);
  EXPECT_EQ(report["hardware"]["pixelClock"]["source"], "external");

  r = orvasim(
      {"--json", "--chip", "kestrel", "--output", "TFTLGPHILIPSLM151X2", "set", "1024x768x16"});
  ASSERT_EQ(r.code, 0) << r.err;
  report = json::parse(r.out);
  const json& tft = report["hardware"]["output"];
  EXPECT_EQ(tft["device"], "tft");
  EXPECT_EQ(tft["tft"]["access"], "memory");
  EXPECT_EQ(tft["tft"]["registers"][0], 1024);
  EXPECT_EQ(tft["tft"]["registers"][8], 768);
  EXPECT_GE(tft["tft"]["stallUs"].get<uint64_t>(), 20000u);
}

TEST(Cli, UnlistedModeNumberIsSentAndItsStatusShown) {
  Outcome r = orvasim({"--json", "set", "0x1F"});  // row 0, depth index 3: never listed
  json report = json::parse(r.out);
  EXPECT_FALSE(report["mode"]["listed"]);
  EXPECT_EQ(r.code, report["status"] == 0 ? kExitOk : kExitFailure);
}

TEST(Cli, ScenarioWithScreenshotsAndVcd) {
  fs::path dir = scratch("scenario");
  fs::create_directories(dir);
  fs::path shot = dir / "edge.png", vcd = dir / "i2c.vcd", file = dir / "s.scn";
  std::ofstream(file) << "set-mode 640x480x8\n"
                         "palette 0 0000FF\n"
                         "pointer-shape block x=-4 y=-2 height=16\n"
                         "pointer-query\n"
                         "screenshot "
                      << shot.string() << "\n";
  Outcome r = orvasim({"--json", "--chip", "pinto", "--vcd", vcd.string(), "run", file.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  json steps = json::parse(r.out)["steps"];
  ASSERT_EQ(steps.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(steps[i]["status"], 0) << steps[i].dump();
  EXPECT_EQ(steps[3]["result"]["Column"], -4);
  EXPECT_EQ(steps[3]["result"]["Row"], -2);
  EXPECT_TRUE(steps[4]["screenshot"]["cursorVisible"]);

  // Blue background (entry 0). The block is cut by 4 columns and 2 rows at the
  // top-left corner: its white inside starts the picture, its black right border
  // is at x 11, its bottom border at y 13, and its last row ends the pattern.
  orva::board::Image image;
  ASSERT_TRUE(orva::board::readPng(shot.string(), image));
  EXPECT_EQ(image.width, 640u);
  EXPECT_EQ(image.pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(image.pixel(11, 0), 0x000000u);
  EXPECT_EQ(image.pixel(12, 0), image.pixel(100, 100));
  EXPECT_EQ(image.pixel(0, 13), 0x000000u);
  EXPECT_EQ(image.pixel(0, 14), image.pixel(100, 100));
  EXPECT_NE(image.pixel(100, 100), 0x000000u);
  std::ifstream in(vcd);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first.rfind("$", 0), 0u);
}

TEST(Cli, ExamplesRun) {
  fs::path examples = fs::path(ORVA_SOURCE_DIR) / "examples";
  if (!fs::exists(examples)) GTEST_SKIP() << "no examples folder";
  fs::path cwd = fs::current_path();
  fs::path out = scratch("examples");
  fs::create_directories(out);
  fs::current_path(out);  // screenshots land here
  size_t ran = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
    if (entry.path().extension() != ".scn") continue;
    // The first comment line of an example may carry its board options: "# orvasim ARGS run".
    std::ifstream in(entry.path());
    std::string line;
    std::getline(in, line);
    std::vector<std::string> args;
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "#") {
      words >> word;
      if (word == "orvasim")
        while (words >> word && word != "run") args.push_back(word);
    }
    args.insert(args.end(), {"run", entry.path().string()});
    Outcome r = orvasim(args);
    EXPECT_EQ(r.code, 0) << entry.path() << ": " << r.err;
    ++ran;
  }
  fs::current_path(cwd);
  EXPECT_GT(ran, 0u);
}

}  // namespace
}  // namespace orvasim
