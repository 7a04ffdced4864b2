// orvasim as users run it: exit codes, the JSON mode list against the driver's own
// list, the bus trace file, the set report against the board, scenarios.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli.h"
#include "files.h"
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

Outcome orvasim(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "orvasim");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  std::istringstream in(input);
  int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err, &in);
  return {code, out.str(), err.str()};
}

fs::path scratch(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "orvasim_cli_test";
  fs::create_directories(dir);
  return dir / name;
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path scenarioFile(const std::string& name, const std::string& text) {
  fs::path file = scratch(name);
  std::ofstream(file) << text;
  return file;
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
    testing::Values(
        BadInput{{"--chip", "pentium"}, "pentium"}, BadInput{{"--memory", "3000K"}, "3000K"},
        BadInput{{"--memory", "lots"}, "lots"}, BadInput{{"--gbase", "0x1FF"}, "0x1FF"},
        BadInput{{"--gbase", "zz"}, "zz"}, BadInput{{"frobnicate"}, "frobnicate"},
        BadInput{{"--colour"}, "--colour"}, BadInput{{"set"}, "MODE"},
        BadInput{{"set", "800x600"}, "800x600"},
        BadInput{{"set", "800x600x32"}, "800x600x32"},  // not in the list
        BadInput{{"set", "640x480x8@61"}, "60 70 75"},
        BadInput{{"run", "/nonexistent/scenario.scn"}, "scenario"},
        BadInput{{"set", "74", "screenshot"}, "--out"}, BadInput{{"run", "/"}, "Is a directory"},
        BadInput{{"--memory", "99999999999M"}, "too large"},
        BadInput{{"--gbase", "1FF"}, "too large"}, BadInput{{"set", "0x1FFFFFFFF"}, "too large"},
        BadInput{{"--trace-only", "ports,dma", "info"}, "dma"},
        BadInput{{"--trace-only", "0x3D5-0x3D4", "info"}, "0x3D5-0x3D4"},
        BadInput{{"help", "frobnicate"}, "frobnicate"},
        // an output keyword the driver does not take, made an error
        BadInput{{"--strict", "--output", "TFTPHILIPS", "info"}, "TFTPHILIPS"}));

// A run-time error names the scenario as a parse error does; a malformed number
// says what is wrong with it.
TEST(Cli, ScenarioErrorsNameTheFileAndTheReason) {
  struct Case {
    std::string text, mentions;
  };
  for (const Case& c : {
           Case{"query-modes\nset-mode 1x1x8\n", "errors.scn: line 2: mode 1x1x8"},
           Case{"port-write8 0x3D4 0 0x100000000\n",
                "line 1: port-write8: value '0x100000000' is too large"},
           Case{"pointer-move 40000 0\n", "'40000' is too large"},
           Case{"query-modes\nboard chip=pinto\n", "line 2: board: comes after a request"},
           Case{"board chip=pentium\n", "unknown chip 'pentium'"},
           Case{"expect crtc 0x28\n", "expected crtc INDEX VALUE"},
           Case{"expect status SOMETIMES\n", "SOMETIMES"},
       }) {
    Outcome r = orvasim({"run", scenarioFile("errors.scn", c.text).string()});
    EXPECT_EQ(r.code, kExitUsage) << c.text;
    EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.text << r.err;
  }
}

// The keyword check: the driver takes any case, keeps MONITOR for a keyword it
// does not know, and offers no mode for a row that is no output or not this chip's.
TEST(Cli, OutputKeywordTheDriverDoesNotTakeIsWarnedAbout) {
  struct Case {
    const char* chip;
    const char* keyword;
    const char* warning;  // nullptr: none
  };
  for (const Case& c : {Case{"kestrel", "TFTPHILIPS", "matches no keyword"},
                        Case{"bramble", "WREN", "which is no output: the driver offers no mode"},
                        Case{"bramble", "ntscm", "selects the modes of the output that shares it"},
                        Case{"bramble", "", "which is no output"},
                        Case{"kestrel", "TVPAL", "offers no mode on kestrel"},
                        Case{"pinto", "tvpal", nullptr}, Case{"kestrel", "MONITOR", nullptr}}) {
    Outcome r = orvasim({"--chip", c.chip, "--output", c.keyword, "info"});
    EXPECT_EQ(r.code, kExitOk) << c.keyword << r.err;
    if (c.warning) {
      EXPECT_NE(r.err.find(std::string("warning: output keyword '") + c.keyword + "'"),
                std::string::npos)
          << r.err;
      EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err.find("warning"), std::string::npos) << c.keyword << ": " << r.err;
    }
  }
}

TEST(Cli, ChipNamesIgnoreCaseAndInfoNamesTheInfHardwareId) {
  Outcome r = orvasim({"--json", "--chip", "Kestrel", "info"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  json info = json::parse(r.out);
  EXPECT_EQ(info["chip"]["variant"], "kestrel");
  // The display function's identification word, as the INF's models name it.
  EXPECT_EQ(info["hardwareId"]["pnpId"], "PCI\\VEN_0B4A&DEV_0210");
  std::ifstream inf(fs::path(ORVA_SOURCE_DIR) / "package" / "orva.inf");
  std::string text{std::istreambuf_iterator<char>(inf), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find(info["hardwareId"]["pnpId"].get<std::string>()), std::string::npos);
}

// A stream buffer that refuses every byte, as a full disk does.
class FullBuffer : public std::streambuf {
 protected:
  int overflow(int) override { return traits_type::eof(); }
};

TEST(Cli, AReportThatCannotBeWrittenFailsTheRun) {
  FullBuffer full;
  std::ostream out(&full);
  std::ostringstream err;
  const char* argv[] = {"orvasim", "modes"};
  EXPECT_EQ(runCli(2, argv, out, err), kExitFailure);
  EXPECT_NE(err.str().find("cannot write standard output"), std::string::npos) << err.str();
}

// An output that cannot be written whole is not left behind half-written, and its
// error names the file and the system's reason. The file-size limit stands in for
// a full disk (the tool itself would first fail to copy the driver module).
TEST(OutputFiles, AreWrittenWholeOrNotAtAll) {
  fs::path dir = scratch("full");
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path kept = dir / "kept.vcd", fresh = dir / "fresh.jsonl";
  std::ofstream(kept) << "the previous run's file\n";
  const std::string big(64 * 1024, 'x');
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string keptError, freshError;
  std::ostringstream unused;
  try {
    writeFile(kept.string(), big, "VCD", unused);
  } catch (const FileError& e) {
    keptError = e.what();
  }
  try {
    writeFile(fresh.string(), big, "trace", unused);
  } catch (const FileError& e) {
    freshError = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(keptError, "cannot write VCD '" + kept.string() + "': File too large");
  EXPECT_EQ(freshError, "cannot write trace '" + fresh.string() + "': File too large");
  EXPECT_EQ(slurp(kept), "the previous run's file\n");
  for (const fs::directory_entry& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path(), kept) << "left behind";
  // A complete write replaces the file; a device is written as it is.
  writeFile(kept.string(), "new\n", "VCD", unused);
  EXPECT_EQ(slurp(kept), "new\n");
  EXPECT_THROW(writeFile("/dev/full", "x", "trace", unused), FileError);
  EXPECT_TRUE(fs::is_character_file("/dev/full"));

  Outcome r = orvasim({"--trace", (dir / "no" / "t.jsonl").string(), "info"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("t.jsonl': No such file or directory"), std::string::npos) << r.err;
}

// A run that stops part way keeps what ran, in every output, and says where and why.
TEST(Cli, ARunThatStopsSaysWhereInEveryOutput) {
  fs::path dir = scratch("stopped");
  fs::create_directories(dir);
  const fs::path trace = dir / "t.jsonl", vcd = dir / "i.vcd";
  fs::path file = scenarioFile("stops.scn",
                               "board chip=pinto output=TVPAL\nset-mode 640x480x16\n"
                               "set-mode 1x1x8\nquery-modes\n");
  Outcome r =
      orvasim({"--json", "--trace", trace.string(), "--vcd", vcd.string(), "run", file.string()});
  EXPECT_EQ(r.code, kExitUsage);
  json report = json::parse(r.out);
  ASSERT_EQ(report["steps"].size(), 2u);  // the board line and the first mode set
  EXPECT_EQ(report["stopped"]["line"], 3);
  EXPECT_NE(report["stopped"]["reason"].get<std::string>().find("stops.scn: line 3: mode 1x1x8"),
            std::string::npos);
  std::istringstream lines(slurp(trace));
  std::string line, last;
  int setLine = 0;
  while (std::getline(lines, line)) {
    json event = json::parse(line);
    if (event["op"] == "request") setLine = event.value("line", 0);
    last = line;
  }
  EXPECT_EQ(setLine, 2);
  json closing = json::parse(last);
  EXPECT_EQ(closing["op"], "stop");
  EXPECT_EQ(closing["line"], 3);
  const std::string waveform = slurp(vcd);
  EXPECT_NE(waveform.find("$comment the run stopped: "), std::string::npos);
  EXPECT_NE(waveform.find("#"), std::string::npos);  // the TV encoder's transfers are there

  // A failure before any report is a JSON object too.
  r = orvasim({"--json", "run", "/nonexistent.scn"});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_EQ(json::parse(r.out)["exitCode"], kExitUsage);
}

// Expectations make a scenario a test; a refused request fails only under --strict,
// and not when an expect status line accepts it.
TEST(Cli, ExpectLinesCheckTheHardware) {
  struct Case {
    std::string text;
    std::vector<std::string> options;
    int code;
    const char* mentions;  // on stderr; "" for nothing
  };
  const std::string set = "set-mode 640x480x8@60\nmap\npattern bars\n";
  for (const Case& c : {
           Case{set + "expect status 0\nexpect mode 640x480x8@60\nexpect pixel 0 0 FFFFFF\n"
                      "expect pixel 639 479 000000\nexpect misc 0x2B\n",
                {},
                kExitOk,
                ""},
           Case{set + "expect mode 800x600x8\n",
                {},
                kExitFailure,
                "line 4: expect mode 800x600x8: got 640x480x8"},
           Case{set + "expect pixel 0 0 000000\n",
                {},
                kExitFailure,
                "line 4: expect pixel 0 0 000000: got 0xFFFFFF"},
           Case{set + "expect pixel 640 0 000000\n",
                {},
                kExitFailure,
                "outside the 640x480 picture"},
           Case{
               set + "expect status ERROR_INVALID_PARAMETER\n", {}, kExitFailure, "got 0 NO_ERROR"},
           Case{"expect status 0\n", {}, kExitFailure, "no request before it"},
           Case{
               "set-mode 640x480x8\npalette 0 FFFFFF\nexpect dac 0 FFFFFF\nexpect crtc 0x1B 0x00\n",
               {},
               kExitFailure,
               "line 4: expect crtc 0x1B 0x00: got 0x3B"},
           Case{"share 0x400000 1\n", {}, kExitOk, ""},
           Case{
               "share 0x400000 1\n", {"--strict"}, kExitFailure, "line 1: the request was refused"},
           Case{"share 0x400000 1\nexpect status 87\n", {"--strict"}, kExitOk, ""},
       }) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"run", scenarioFile("expect.scn", c.text).string()});
    Outcome r = orvasim(args);
    EXPECT_EQ(r.code, c.code) << c.text << r.err;
    if (*c.mentions) {
      EXPECT_NE(r.err.find(c.mentions), std::string::npos) << c.text << r.err;
    }
  }
}

// The board line sets what the command line leaves out; an option given wins, and
// the tool says so.
TEST(Cli, ScenarioBoardLineIsObeyedAndOverridden) {
  const std::string text = "board chip=pinto output=TVPAL memory=2M\nset-mode 640x480x16\n";
  Outcome r = orvasim({"--json", "run", "-"}, text);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  json steps = json::parse(r.out)["steps"];
  EXPECT_EQ(steps[1]["hardware"]["output"]["device"], "tv-encoder");
  EXPECT_TRUE(r.err.empty()) << r.err;

  r = orvasim({"--json", "--chip", "bramble", "--output", "MONITOR", "run", "-"}, text);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  steps = json::parse(r.out)["steps"];
  EXPECT_EQ(steps[1]["hardware"]["output"]["device"], "vga");
  EXPECT_NE(r.err.find("--chip bramble overrides the scenario's chip=pinto"), std::string::npos);
  EXPECT_NE(r.err.find("--output MONITOR overrides the scenario's output=TVPAL"),
            std::string::npos);
  EXPECT_EQ(r.err.find("memory"), std::string::npos) << r.err;  // not given: no note
}

// Modes that no record tells apart are told apart by the tool, and set says which
// one a size picked.
TEST(Cli, ModesOfTheSameGeometryAreToldApart) {
  Outcome r = orvasim({"--chip", "bramble-rx", "--output", "TVNTSC", "modes"});
  ASSERT_EQ(r.code, kExitOk);
  EXPECT_NE(r.out.find("modes 288 and 320 are all 640x430x8, from mode-table rows 9 and 10"),
            std::string::npos)
      << r.out;
  r = orvasim({"--json", "--chip", "bramble-rx", "--output", "TVNTSC", "set", "640x430x8"});
  json picked = json::parse(r.out)["mode"];
  EXPECT_EQ(picked["modeIndex"], 288);
  EXPECT_EQ(picked["picked"]["alsoListed"], json::array({320}));
  // A refused set says why on stderr.
  r = orvasim({"set", "999"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("refused mode 999: status 87"), std::string::npos) << r.err;
}

TEST(Cli, TraceCarriesTimeLinesAndRequestNamesAndIsFiltered) {
  fs::path trace = scratch("filtered.jsonl");
  Outcome r = orvasim({"--trace", trace.string(), "--trace-only", "requests,0x3C2", "run", "-"},
                      "query-num-modes\nset-mode 640x480x8\n");
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::istringstream lines(slurp(trace));
  std::string line;
  std::set<std::string> ops;
  uint64_t time = 0;
  size_t events = 0;
  while (std::getline(lines, line)) {
    json e = json::parse(line);
    ops.insert(e["op"]);
    if (e["op"] == "out") {
      EXPECT_EQ(e["port"], 0x3C2) << line;
    }
    EXPECT_GE(e["time_ns"].get<uint64_t>(), time) << line;  // virtual time only advances
    time = e["time_ns"];
    if (e["op"] == "request" || e["op"] == "done") {
      EXPECT_EQ(e["request"], e["code"] == 0x230404 ? "IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES"
                                                    : e["request"].get<std::string>());
      EXPECT_TRUE(e.contains("line")) << line;
    }
    ++events;
  }
  EXPECT_EQ(ops, (std::set<std::string>{"request", "done", "out"}));
  EXPECT_GT(events, 4u);
  // "-" is the standard output.
  r = orvasim({"--trace", "-", "--trace-only", "stalls", "--chip", "pinto", "--output", "TVPAL",
               "set", "640x480x16"});
  EXPECT_NE(r.out.find("{\"op\":\"stall\",\"us\":1000,"), std::string::npos) << r.out;
}

TEST(Cli, VerifierBaselineAcceptsTheDriversDesignAndFailsOnAnythingElse) {
  Outcome r = orvasim({"--verify", "run", "-"}, "set-mode 640x480x8\nio-map 0x3D4 2\n");
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.err.find(" in the baseline, 0 outside it"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("NEW"), std::string::npos);
  // Without the entries for the private requests, their mapping is a new notice.
  fs::path baseline = scratch("baseline.txt");
  std::ofstream(baseline) << "unclaimed-range HwFindAdapter * discovery maps its own ranges\n"
                             "unreleased-mapping HwFindAdapter * device bases live on\n";
  r = orvasim({"--verify", "--verify-baseline", baseline.string(), "run", "-"}, "io-map 0x3D4 2\n");
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_NE(r.err.find("NEW device-base-outside-discovery"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(", 2 outside it"), std::string::npos) << r.err;
  std::ofstream(baseline) << "long-stall * HWTFT_Init\n";  // no reason
  r = orvasim({"--verify", "--verify-baseline", baseline.string(), "info"});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_NE(r.err.find("line 1"), std::string::npos) << r.err;
}

TEST(Cli, VersionAndHelpCommand) {
  Outcome r = orvasim({"--version"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out, std::string("orvasim ") + ORVA_VERSION + "\n");
  r = orvasim({"help", "run"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_NE(r.out.find("expect pixel X Y RRGGBB"), std::string::npos);
}

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

// Every example runs on the board its board line names, every expectation holds, and
// every screenshot shows a drawn picture, not one colour with a pointer.
TEST(Cli, ExamplesRun) {
  fs::path examples = fs::path(ORVA_SOURCE_DIR) / "examples";
  if (!fs::exists(examples)) GTEST_SKIP() << "no examples folder";
  fs::path cwd = fs::current_path();
  fs::path out = scratch("examples");
  fs::remove_all(out);
  fs::create_directories(out);
  fs::current_path(out);  // screenshots land here
  size_t ran = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
    if (entry.path().extension() != ".scn") continue;
    std::ifstream in(entry.path());
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.rfind("board ", 0), 0u) << entry.path() << ": no board line";
    Outcome r = orvasim({"--json", "run", entry.path().string()});
    EXPECT_EQ(r.code, 0) << entry.path() << ": " << r.err;
    EXPECT_TRUE(r.err.empty()) << entry.path() << ": " << r.err;
    ++ran;
  }
  fs::current_path(cwd);
  EXPECT_GT(ran, 0u);
  size_t pictures = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(out)) {
    orva::board::Image image;
    ASSERT_TRUE(orva::board::readPng(entry.path().string(), image)) << entry.path();
    std::map<uint32_t, size_t> colours;
    for (unsigned y = 0; y < image.height; y += 4)
      for (unsigned x = 0; x < image.width; x += 4) ++colours[image.pixel(x, y)];
    size_t most = 0;
    for (const auto& [colour, count] : colours) most = std::max(most, count);
    EXPECT_LT(most * 2, (image.width / 4) * (image.height / 4)) << entry.path();
    ++pictures;
  }
  EXPECT_GT(pictures, 10u);
}

// The screenshot's mode comes first: the scenario draws on it.
TEST(Cli, ScreenshotSetsTheModeBeforeTheScenario) {
  fs::path png = scratch("drawn.png");
  fs::path file = scenarioFile("draw.scn", "map\npattern bars\n");
  Outcome r = orvasim(
      {"screenshot", "--out", png.string(), "--scenario", file.string(), "--mode", "640x480x16"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  orva::board::Image image;
  ASSERT_TRUE(orva::board::readPng(png.string(), image));
  EXPECT_EQ(image.width, 640u);
  EXPECT_EQ(image.pixel(0, 0), 0xFFFFFFu);  // the first bar
  EXPECT_NE(image.pixel(100, 0), image.pixel(0, 0));
}

}  // namespace
}  // namespace orvasim
