// The pattern scenario line draws as a display driver does, in the pixel format of the current
// mode; the board's scanout must show the pattern's colours pixel for pixel, at the precision
// of the format the CRTC decodes (8-bit pixels through the palette the line loaded).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "pattern.h"
#include "png_writer.h"
#include "scanout.h"

namespace orvasim {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code;
  std::string out, err;
};

// A file of this test process alone: ctest runs tests side by side.
fs::path scratch(const std::string& name) {
  return fs::path(testing::TempDir()) / ("orva_" + std::to_string(getpid()) + "_" + name);
}

Outcome runScenario(const std::vector<std::string>& options, const std::string& lines) {
  const fs::path file = scratch("pattern.scn");
  std::ofstream(file) << lines;
  std::vector<std::string> args = {"orvasim"};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"run", file.string()});
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int code = runCli(static_cast<int>(argv.size()), argv.data(), out, err);
  fs::remove(file);
  return {code, out.str(), err.str()};
}

struct Shown {
  const char* chip;
  const char* output;  // nullptr: the monitor
  const char* mode;
  const char* pattern;
  unsigned redBits, greenBits, blueBits;  // what the board's pixel format keeps of a colour
};

void PrintTo(const Shown& c, std::ostream* os) {
  *os << c.chip << " " << c.mode << " " << c.pattern;
}

class PatternScanout : public testing::TestWithParam<Shown> {};

TEST_P(PatternScanout, ShowsTheIntendedColoursPixelForPixel) {
  const Shown& c = GetParam();
  const fs::path shot = scratch("pattern.png");
  std::vector<std::string> options = {"--chip", c.chip};
  if (c.output) options.insert(options.end(), {"--output", c.output});
  const Outcome run = runScenario(options, std::string("set-mode ") + c.mode + "\nmap\npattern " +
                                               c.pattern + "\nscreenshot " + shot.string() + "\n");
  ASSERT_EQ(run.code, kExitOk) << run.err;
  orva::board::Image image;
  ASSERT_TRUE(orva::board::readPng(shot.string(), image));
  fs::remove(shot);
  const Pattern pattern = *parsePattern(c.pattern);

  // A component kept to its top `bits` bits and widened again may differ from the meant one
  // by less than one step of those bits.
  auto close = [](uint32_t shown, uint32_t meant, unsigned shift, unsigned bits) {
    const int s = shown >> shift & 0xFF, m = meant >> shift & 0xFF;
    return std::abs(s - m) < (1 << (8 - bits));
  };
  unsigned wrong = 0;
  for (unsigned y = 0; y < image.height; ++y) {
    for (unsigned x = 0; x < image.width; ++x) {
      const uint32_t shown = image.pixel(x, y);
      const uint32_t meant = patternColour(pattern, x, y, image.width, image.height);
      if (close(shown, meant, 16, c.redBits) && close(shown, meant, 8, c.greenBits) &&
          close(shown, meant, 0, c.blueBits))
        continue;
      if (++wrong <= 5)
        ADD_FAILURE() << "pixel " << x << "," << y << " shows 0x" << std::hex << shown
                      << ", the pattern means 0x" << meant;
    }
  }
  EXPECT_EQ(wrong, 0u) << "of " << image.width * image.height << " pixels";
}

INSTANTIATE_TEST_SUITE_P(, PatternScanout,
                         testing::Values(Shown{"bramble", nullptr, "640x480x8", "card", 8, 8, 8},
                                         Shown{"bramble", nullptr, "640x480x16", "card", 5, 6, 5},
                                         Shown{"bramble", nullptr, "640x480x24", "card", 8, 8, 8},
                                         Shown{"bramble", nullptr, "1024x768x16", "ramp", 5, 6, 5},
                                         Shown{"bramble", nullptr, "800x600x8", "bars", 8, 8, 8},
                                         Shown{"kestrel", "TFTPHILIPSHLD1201", "800x600x24", "ramp",
                                               8, 8, 8},
                                         Shown{"pinto", "TVPAL", "640x480x16", "bars", 5, 6, 5}));

// The pattern's own landmarks, read off the 16-bit picture: the bars from white to black
// along the top, the grid on the first and last column and row of the ramp, the ramp's ends.
TEST(PatternCard, Landmarks) {
  const fs::path shot = scratch("card.png");
  const Outcome run =
      runScenario({}, "set-mode 640x480x16\nmap\npattern card\nscreenshot " + shot.string() + "\n");
  ASSERT_EQ(run.code, kExitOk) << run.err;
  orva::board::Image image;
  ASSERT_TRUE(orva::board::readPng(shot.string(), image));
  fs::remove(shot);
  const uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                           0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  for (unsigned bar = 0; bar < 8; ++bar) {
    EXPECT_EQ(image.pixel(bar * 80, 0), bars[bar]) << bar;
    EXPECT_EQ(image.pixel(bar * 80 + 79, 239), bars[bar]) << bar;
  }
  for (unsigned x : {0u, 16u, 639u}) EXPECT_EQ(image.pixel(x, 300), 0xFF0000u) << x;
  for (unsigned y : {240u, 256u, 479u}) EXPECT_EQ(image.pixel(300, y), 0xFF0000u) << y;
  EXPECT_EQ(image.pixel(1, 241), 0x000000u);
  EXPECT_EQ(image.pixel(638, 478), 0xFFFFFFu);
  EXPECT_NE(image.pixel(318, 241), image.pixel(321, 241));  // a step every 10 pixels
}

struct Refused {
  const char* name;
  const char* lines;
  const char* says;
};

class PatternRefused : public testing::TestWithParam<Refused> {};

TEST_P(PatternRefused, StopsTheRunNamingTheLine) {
  const Outcome run = runScenario({}, GetParam().lines);
  EXPECT_EQ(run.code, kExitUsage);
  EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    , PatternRefused,
    testing::Values(
        Refused{"NoMap", "set-mode 640x480x8\npattern bars\n", "line 2: pattern: no frame-buffer"},
        Refused{"Unmapped", "set-mode 640x480x8\nmap\nunmap\npattern bars\n",
                "line 4: pattern: no frame-buffer"},
        Refused{"NoMode", "map\npattern bars\n", "line 2: pattern: no mode is set"},
        Refused{"UnknownName", "pattern plaid\n", "unknown pattern 'plaid' (bars, ramp, card)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvasim
