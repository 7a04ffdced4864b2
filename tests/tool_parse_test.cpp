// What users type into orvasim: memory sizes, mode names, scenario lines, shape files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "parse.h"
#include "scenario.h"
#include "shapes.h"

namespace orvasim {
namespace {

struct MemoryCase {
  const char* text;
  std::optional<uint32_t> bytes;  // none: refused
};

void PrintTo(const MemoryCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class MemorySize : public testing::TestWithParam<MemoryCase> {};

TEST_P(MemorySize, ParsesOrRefuses) {
  const MemoryCase& c = GetParam();
  if (c.bytes) {
    EXPECT_EQ(parseMemorySize(c.text), *c.bytes);
  } else {
    EXPECT_THROW(parseMemorySize(c.text), UsageError);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MemorySize,
    testing::Values(MemoryCase{"2M", 2u << 20}, MemoryCase{"4m", 4u << 20},
                    MemoryCase{"8064K", 8064u << 10}, MemoryCase{"131072", 131072},
                    MemoryCase{"128k", 131072}, MemoryCase{"2MB", 2u << 20},
                    MemoryCase{"0x200000", 2u << 20}, MemoryCase{" 4M ", 4u << 20},
                    MemoryCase{"0", 0u}, MemoryCase{"0M", 0u},  // a board without display memory
                    // refused: not a multiple of 128K, beyond the 6-bit field, junk
                    MemoryCase{"8065K", {}}, MemoryCase{"8M", {}}, MemoryCase{"100K", {}},
                    MemoryCase{"", {}}, MemoryCase{"4G", {}}, MemoryCase{"M", {}},
                    MemoryCase{"-2M", {}}, MemoryCase{"2.5M", {}}, MemoryCase{"99999999999M", {}}));

struct ModeCase {
  const char* text;
  bool ok;
  std::optional<uint32_t> number;
  uint32_t width, height, bpp;
  std::optional<uint32_t> refresh;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ModeNames : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeNames, Parses) {
  const ModeCase& c = GetParam();
  if (!c.ok) {
    EXPECT_THROW(parseModeName(c.text), UsageError) << c.text;
    return;
  }
  ModeName wanted = parseModeName(c.text);
  EXPECT_EQ(wanted.number, c.number);
  if (!c.number) {
    EXPECT_EQ(wanted.width, c.width);
    EXPECT_EQ(wanted.height, c.height);
    EXPECT_EQ(wanted.bpp, c.bpp);
    EXPECT_EQ(wanted.refresh, c.refresh);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ModeNames,
                         testing::Values(ModeCase{"74", true, 74u, 0, 0, 0, {}},
                                         ModeCase{"0x4A", true, 74u, 0, 0, 0, {}},
                                         ModeCase{"0", true, 0u, 0, 0, 0, {}},
                                         ModeCase{"4294967295", true, 0xFFFFFFFFu, 0, 0, 0, {}},
                                         ModeCase{"800x600x16", true, {}, 800, 600, 16, {}},
                                         ModeCase{"800X600X16@75", true, {}, 800, 600, 16, 75u},
                                         ModeCase{"720x480x24@0", true, {}, 720, 480, 24, 0u},
                                         ModeCase{"4294967296", false, {}, 0, 0, 0, {}},
                                         ModeCase{"800x600", false, {}, 0, 0, 0, {}},
                                         ModeCase{"800x600x", false, {}, 0, 0, 0, {}},
                                         ModeCase{"800x600x16@", false, {}, 0, 0, 0, {}},
                                         ModeCase{"800x600x16@75Hz", false, {}, 0, 0, 0, {}},
                                         ModeCase{"0x600x16", false, {}, 0, 0, 0, {}},
                                         ModeCase{"800x600x16x2", false, {}, 0, 0, 0, {}},
                                         ModeCase{"-1", false, {}, 0, 0, 0, {}},
                                         ModeCase{"", false, {}, 0, 0, 0, {}}));

TEST(ResolveMode, PicksFromTheListAndNamesWhatIsListed) {
  const std::vector<ListedMode> list = {
      {64, 800, 600, 8, 60}, {66, 800, 600, 8, 75}, {72, 800, 600, 16, 60}, {392, 720, 480, 16, 0}};
  EXPECT_EQ(resolveMode(parseModeName("800x600x8"), list), 64u);  // first listed rate
  EXPECT_EQ(resolveMode(parseModeName("800x600x8@75"), list), 66u);
  EXPECT_EQ(resolveMode(parseModeName("720x480x16@0"), list), 392u);
  // A number goes to the driver as is, listed or not.
  EXPECT_EQ(resolveMode(parseModeName("999"), list), 999u);

  try {
    resolveMode(parseModeName("800x600x8@85"), list);
    FAIL() << "an unlisted rate was accepted";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("60 75"), std::string::npos) << e.what();
  }
  try {
    resolveMode(parseModeName("1024x768x8"), list);
    FAIL() << "an unlisted size was accepted";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("800x600x16"), std::string::npos) << e.what();
  }
  EXPECT_THROW(resolveMode(parseModeName("800x600x8"), {}), UsageError);
}

TEST(NumberParsers, Table) {
  EXPECT_EQ(parseUnsigned("0x3D4"), 0x3D4u);
  EXPECT_EQ(parseUnsigned("4294967295"), 0xFFFFFFFFu);
  EXPECT_FALSE(parseUnsigned("4294967296"));
  EXPECT_FALSE(parseUnsigned("0x"));
  EXPECT_FALSE(parseUnsigned("12a"));
  EXPECT_EQ(parseSigned("-64"), -64);
  EXPECT_EQ(parseSigned("-0x10"), -16);
  EXPECT_FALSE(parseSigned("--1"));
  EXPECT_EQ(parseHex("1f", 8), 0x1Fu);
  EXPECT_EQ(parseHex("0x10", 8), 0x10u);
  EXPECT_FALSE(parseHex("100", 8));
  EXPECT_FALSE(parseHex("g", 8));
  EXPECT_EQ(parseColour("FF8000"), 0xFF8000u);
  EXPECT_EQ(parseColour("#00ff00"), 0x00FF00u);
  EXPECT_FALSE(parseColour("FFF"));
  EXPECT_EQ(parseHexBytes("00 01 ff"), (std::vector<uint8_t>{0x00, 0x01, 0xFF}));
  EXPECT_EQ(parseHexBytes("-"), std::vector<uint8_t>{});
  EXPECT_FALSE(parseHexBytes("123"));
  EXPECT_FALSE(parseHexBytes("zz"));
}

// Scenario lines: each good line gives the verb and arguments; each bad one a
// message that names its line.
struct LineCase {
  const char* text;
  bool ok;
  Verb verb;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ScenarioLine : public testing::TestWithParam<LineCase> {};

TEST_P(ScenarioLine, ParsesOrNamesTheLine) {
  const LineCase& c = GetParam();
  if (!c.ok) {
    try {
      parseScenarioLine(c.text, 7, ".");
      FAIL() << "accepted: " << c.text;
    } catch (const UsageError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("line 7: ", 0), 0u) << e.what();
    }
    return;
  }
  std::optional<Step> step = parseScenarioLine(c.text, 7, ".");
  ASSERT_TRUE(step) << c.text;
  EXPECT_EQ(step->verb, c.verb) << c.text;
  EXPECT_EQ(step->line, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScenarioLine,
    testing::Values(
        LineCase{"query-modes", true, Verb::QueryModes},
        LineCase{"  set-mode 800x600x16@75  # comment", true, Verb::SetMode},
        LineCase{"map", true, Verb::Map}, LineCase{"unmap 0x1000", true, Verb::Unmap},
        LineCase{"share 0 4096", true, Verb::Share},
        LineCase{"palette 0 000000 FFFFFF", true, Verb::Palette},
        LineCase{"pointer-shape arrow height=19 x=-5 y=10 flags=0x13", true, Verb::PointerShape},
        LineCase{"pointer-move -63 -1", true, Verb::PointerMove},
        LineCase{"port-read16 0x3D4", true, Verb::PortRead},
        LineCase{"port-write32 0xCF8 0 0x80005800", true, Verb::PortWrite},
        LineCase{"raw 0x230410 - 0", true, Verb::Raw},
        LineCase{"raw 0x23040C 4a000000 0", true, Verb::Raw},
        LineCase{"screenshot out.png", true, Verb::Screenshot},
        LineCase{"set-mode first output=4", true, Verb::SetMode},
        LineCase{"query-color-caps", true, Verb::QueryColorCaps},
        LineCase{"fb-probe", true, Verb::FbProbe}, LineCase{"fb-probe 0x1234", true, Verb::FbProbe},
        LineCase{"pointer-shape arrow flags=caps", true, Verb::PointerShape},
        // refused
        LineCase{"set-mode", false, Verb::Nop}, LineCase{"set-mode 800x600", false, Verb::Nop},
        LineCase{"map now", false, Verb::Nop}, LineCase{"jump 3", false, Verb::Nop},
        LineCase{"palette 0", false, Verb::Nop}, LineCase{"palette 0 FFF", false, Verb::Nop},
        LineCase{"pointer-move 40000 0", false, Verb::Nop},
        LineCase{"pointer-move 1", false, Verb::Nop},
        LineCase{"pointer-shape nosuchshape", false, Verb::Nop},
        LineCase{"pointer-shape arrow depth=3", false, Verb::Nop},
        LineCase{"pointer-shape arrow height", false, Verb::Nop},
        LineCase{"port-write8 0x80 0", false, Verb::Nop},
        LineCase{"port-read64 0x80", false, Verb::Nop},
        LineCase{"raw 0x230410 abc 0", false, Verb::Nop}, LineCase{"share 0", false, Verb::Nop},
        LineCase{"set-mode first 4", false, Verb::Nop},
        LineCase{"set-mode first output=4097", false, Verb::Nop},
        LineCase{"set-mode first output=4 output=4", false, Verb::Nop},
        LineCase{"fb-probe 1 2", false, Verb::Nop},
        LineCase{"pointer-shape arrow width=caps", false, Verb::Nop}));

TEST(Scenario, SkipsCommentsAndCountsLines) {
  std::vector<Step> steps =
      parseScenario("# a session\n\nquery-num-modes\r\n  # indented comment\nreset", ".");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[1].line, 5);
  EXPECT_EQ(steps[1].verb, Verb::Reset);

  try {
    parseScenario("reset\nreset\nset-mode 12x\n", ".");
    FAIL();
  } catch (const UsageError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("line 3: ", 0), 0u) << e.what();
  }
}

TEST(Scenario, PointerShapeArguments) {
  Step step = *parseScenarioLine("pointer-shape cross height=15 x=-7 y=-7", 1, ".");
  EXPECT_EQ(step.height, 15u);
  EXPECT_EQ(step.x, -7);
  EXPECT_EQ(step.y, -7);
  EXPECT_EQ(step.flags, 0x03u);  // asynchronous, monochrome unless told otherwise
  EXPECT_EQ(step.shape, *builtinShape("cross"));
}

// The generated palette: 8 red and 8 green levels 32 apart, 4 blue levels 64 apart,
// red counting fastest, every colour once.
TEST(Scenario, Rgb332PaletteHoldsEveryLevelOnce) {
  const Step step = *parseScenarioLine("palette 0 rgb332", 1, ".");
  ASSERT_EQ(step.colours.size(), 256u);
  EXPECT_EQ(step.colours[1], 0x200000u);
  EXPECT_EQ(step.colours[8], 0x002000u);
  EXPECT_EQ(step.colours[64], 0x000040u);
  EXPECT_EQ(step.colours[255], 0xE0E0C0u);
  EXPECT_EQ(std::set<uint32_t>(step.colours.begin(), step.colours.end()).size(), 256u);
}

TEST(Shapes, BuiltInPlanesFollowTheColourCode) {
  // Row 0 of the arrow is one black pixel at the left: AND bit clear, XOR bit clear;
  // everything else on the row transparent (AND 1, XOR 0).
  std::vector<uint8_t> arrow = *builtinShape("arrow");
  ASSERT_EQ(arrow.size(), kShapeBytes);
  EXPECT_EQ(arrow[0], 0x7F);
  EXPECT_EQ(arrow[512], 0x00);
  // Row 2 "BWB": the white middle pixel has AND 0, XOR 1.
  EXPECT_EQ(arrow[16], 0x1F);
  EXPECT_EQ(arrow[512 + 16], 0x40);
  // The last row of the pattern is transparent for every shape.
  for (std::string_view name : builtinShapeNames()) {
    std::vector<uint8_t> shape = *builtinShape(name);
    EXPECT_EQ(shape[63 * 8], 0xFF) << name;
    EXPECT_EQ(shape[512 + 63 * 8], 0x00) << name;
  }
  EXPECT_FALSE(builtinShape("Arrow"));
}

TEST(Shapes, FileOfHexBytes) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "orvasim_shape_test";
  std::filesystem::create_directories(dir);
  std::string hex;
  for (int i = 0; i < 1024; ++i)
    hex += (i % 32 == 0 ? "\n" : " ") + std::string(i < 512 ? "ff" : "01");
  std::ofstream(dir / "good.hex") << "# AND plane then XOR plane\n" << hex << "\n";
  std::ofstream(dir / "short.hex") << "ff ff\n";
  std::vector<uint8_t> shape = loadShapeFile(dir / "good.hex");
  EXPECT_EQ(shape[0], 0xFF);
  EXPECT_EQ(shape[1023], 0x01);
  EXPECT_THROW(loadShapeFile(dir / "short.hex"), UsageError);
  EXPECT_THROW(loadShapeFile(dir / "missing.hex"), UsageError);
  // A scenario names shape files relative to its own folder.
  Step step = *parseScenarioLine("pointer-shape good.hex", 1, dir);
  EXPECT_EQ(step.shape, shape);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvasim
