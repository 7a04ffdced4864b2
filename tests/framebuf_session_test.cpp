// Windows' generic frame-buffer display driver on every board: examples/framebuf.scn
// sends what that display driver sends, in its order, and every chip variant with
// each output the driver offers passes what it checks: a mode survives its filter,
// the probe word reaches display memory through the mapping and reads back, and
// every status it acts on is a success. The x86-64 orva.sys of the package runs it
// too where the build made one.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "board.h"
#include "client.h"
#include "hwgeneric/hwgeneric.h"
#include "orva/requests.h"
#include "runner.h"
#include "scanout.h"
#include "scenario.h"

namespace orva::framebuf_test {
namespace {

using orvasim::Json;
using orvasim::Verb;

// References the library holds on the mapping at `address` (0: none).
unsigned referencesOf(const platform::Session& session, uint64_t address) {
  for (const platform::Mapping& m : session.mappings()) {
    if (m.address == address) return m.references;
  }
  return 0;
}
namespace code = orvasim::code;

const std::string kScenario = std::string(ORVA_SOURCE_DIR) + "/examples/framebuf.scn";

struct Board {
  const char* chip;
  const char* output;
};

// Every chip variant with each output keyword it lists modes for.
const Board kBoards[] = {
    {"pinto", "MONITOR"},
    {"pinto", "100HZPAL"},
    {"pinto", "VGANTSC"},
    {"pinto", "TVPAL"},
    {"pinto", "TVNTSC"},
    {"bramble", "MONITOR"},
    {"bramble", "100HZPAL"},
    {"bramble", "VGANTSC"},
    {"bramble", "TVPAL"},
    {"bramble", "TVNTSC"},
    {"bramble", "TVNTSC269"},
    {"bramble-l", "MONITOR"},
    {"bramble-l", "100HZPAL"},
    {"bramble-l", "VGANTSC"},
    {"bramble-l", "TVPAL"},
    {"bramble-l", "TVNTSC"},
    {"bramble-l", "TVNTSC269"},
    {"mistral", "MONITOR"},
    {"mistral", "100HZPAL"},
    {"mistral", "VGANTSC"},
    {"mistral", "TFTPHILIPSHLD1201"},
    {"mistral", "TFTLGPHILIPSLM151X2"},
    {"bramble-r", "MONITOR"},
    {"bramble-r", "100HZPAL"},
    {"bramble-r", "VGANTSC"},
    {"bramble-r", "TVPAL"},
    {"bramble-r", "TVNTSC"},
    {"bramble-r", "TVNTSC269"},
    {"kestrel", "MONITOR"},
    {"kestrel", "100HZPAL"},
    {"kestrel", "VGANTSC"},
    {"kestrel", "TFTPHILIPSHLD1201"},
    {"kestrel", "TFTLGPHILIPSLM151X2"},
    {"bramble-rx", "MONITOR"},
    {"bramble-rx", "100HZPAL"},
    {"bramble-rx", "VGANTSC"},
    {"bramble-rx", "TVPAL"},
    {"bramble-rx", "TVNTSC"},
    {"bramble-rx", "TVNTSC269"},
};

// The requests the display driver sends, in order.
const uint32_t kSequence[] = {
    code::kQueryNumAvailModes,
    code::kQueryAvailModes,
    code::kQueryColorCapabilities,
    code::kQueryPointerCapabilities,
    code::kSetCurrentMode,
    code::kMapVideoMemory,
    code::kSetColorRegisters,
    code::kSetPointerAttr,
    code::kSetPointerPosition,
    code::kSetPointerAttr,
    code::kSetPointerPosition,
    code::kDisablePointer,
    code::kResetDevice,
    code::kSetCurrentMode,
    code::kUnmapVideoMemory,
};

TEST(FramebufSession, BoardTableIsEveryVariantAndOutputWithModes) {
  std::vector<std::string> keywords;
  {
    auto session = platform::boot({});
    const auto* row = session->driverSymbol<const HWGENERIC_KEYWORD>("HWGENERIC_psKeywordList");
    ASSERT_NE(row, nullptr);
    for (; row->pszKeyword != nullptr; ++row)
      if (row->ulType == HWGENERIC_TYPE_OUTPUT) keywords.emplace_back(row->pszKeyword);
  }
  std::set<std::pair<std::string, std::string>> offered, listed;
  for (int v = 0; v < static_cast<int>(board::Variant::Unknown); ++v) {
    const std::string chip(board::variantName(static_cast<board::Variant>(v)));
    for (const std::string& keyword : keywords) {
      platform::BootOptions options;
      options.chip = chip;
      options.output = keyword;
      auto session = platform::boot(options);
      if (platform::queryNumModes(*session).value.NumModes != 0) offered.emplace(chip, keyword);
    }
  }
  for (const Board& b : kBoards) listed.emplace(b.chip, b.output);
  EXPECT_EQ(listed, offered);
}

constexpr uint32_t kModeBanked = 0x0080;  // VIDEO_MODE_BANKED: needs bank switching

// A mode the display driver keeps: one plane, graphics, not banked, a depth it draws.
bool survivesFilter(const Json& m) {
  const uint32_t flags = m["AttributeFlags"];
  const uint32_t bpp = m["BitsPerPlane"];
  return m["NumberOfPlanes"] == 1 && (flags & VIDEO_MODE_GRAPHICS) != 0 &&
         (flags & kModeBanked) == 0 && (bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32);
}

std::vector<const board::TraceEvent*> eventsOf(const board::Trace& trace,
                                               board::TraceEvent::Op op) {
  std::vector<const board::TraceEvent*> found;
  for (const board::TraceEvent& event : trace.events())
    if (event.op == op) found.push_back(&event);
  return found;
}

template <typename T>
T inputRecord(const board::TraceEvent& request) {
  return platform::recordAt<T>(request.bytes);
}

class FramebufSession : public testing::TestWithParam<std::tuple<Board, bool>> {};

TEST_P(FramebufSession, EnablesSwitchesAwayAndBackAndDisables) {
  const auto& [board, shipped] = GetParam();
  platform::BootOptions options;
  options.chip = board.chip;
  options.output = board.output;
#ifdef ORVA_SYS_X86_64
  if (shipped) options.driverPath = ORVA_SYS_X86_64;
#endif
  auto session = platform::boot(options);
  ASSERT_TRUE(session->started());
  orvasim::Client client(*session);
  orvasim::Runner runner(*session, client);

  const std::vector<orvasim::Step> steps = orvasim::loadScenario(kScenario);
  std::vector<Json> reports;
  Json chosen;  // the mode the display driver takes
  uint64_t mapped = 0;
  for (const orvasim::Step& step : steps) {
    Json report;
    try {
      report = runner.run(step);
    } catch (const std::exception& e) {
      FAIL() << step.text << ": " << e.what();
    }
    const board::Board& hw = session->board();
    switch (step.verb) {
      case Verb::QueryModes: {
        ASSERT_EQ(report["status"], 0);
        for (const Json& m : report["result"]["modes"]) {
          if (survivesFilter(m)) {
            chosen = m;
            break;
          }
        }
        ASSERT_FALSE(chosen.is_null()) << "no mode survives the display driver's filter";
        // The palette step is the display driver's only in 8-bit modes.
        EXPECT_EQ(chosen["BitsPerPlane"], 8);
        break;
      }
      case Verb::SetMode: {
        EXPECT_EQ(report["status"], 0) << step.text;
        EXPECT_EQ(report["mode"], chosen["ModeIndex"]);
        const Json& display = report["hardware"]["display"];
        // The display scans the surface at the depth and stride the display
        // driver draws with.
        EXPECT_EQ(display["bitsPerPixel"], chosen["BitsPerPlane"]);
        EXPECT_EQ(display["pitch"], chosen["ScreenStride"]);
        break;
      }
      case Verb::Map: {
        ASSERT_EQ(report["status"], 0);
        const Json& memory = report["result"];
        EXPECT_EQ(memory["FrameBufferBase"], memory["VideoRamBase"]);
        EXPECT_GE(
            memory["FrameBufferLength"].get<uint64_t>(),
            chosen["ScreenStride"].get<uint64_t>() * chosen["VisScreenHeight"].get<uint64_t>());
        mapped = memory["FrameBufferBase"];
        // A system-space view: the library hands back the discovery's view of
        // the same range, one reference more.
        EXPECT_EQ(referencesOf(*session, mapped), 2u);
        break;
      }
      case Verb::FbProbe: {
        EXPECT_EQ(report["probe"]["address"], mapped);
        EXPECT_EQ(report["probe"]["read"], 0xAA55AA55u);
        uint32_t word = 0;
        std::memcpy(&word, hw.vram(), sizeof word);
        EXPECT_EQ(word, 0xAA55AA55u) << "display memory at offset 0";
        break;
      }
      case Verb::Palette:
        EXPECT_EQ(report["status"], 0);
        ASSERT_EQ(step.colours.size(), 256u);
        for (unsigned i = 0; i < 256; ++i) {
          const uint32_t c = step.colours[i];
          const std::array<uint8_t, 3> rgb = {
              static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
          EXPECT_EQ(hw.dac(static_cast<uint8_t>(i)), rgb) << "palette entry " << i;
        }
        break;
      case Verb::PointerMove:
        EXPECT_EQ(report["status"], 0);
        EXPECT_TRUE(board::scanout(hw).cursor.visible) << step.text;
        break;
      case Verb::PointerDisable:
        EXPECT_EQ(report["status"], 0);
        EXPECT_FALSE(board::scanout(hw).cursor.visible);
        break;
      case Verb::Unmap:
        EXPECT_EQ(report["status"], 0);
        EXPECT_EQ(report["address"], mapped);
        EXPECT_EQ(referencesOf(*session, mapped), 1u) << "the display driver's reference is gone";
        break;
      case Verb::QueryColorCaps:
        break;           // the display driver takes its defaults when this fails
      case Verb::Board:  // the board is the parameter's
        continue;
      case Verb::Expect:  // the scenario's own checks hold on every board
        EXPECT_TRUE(report["expect"]["ok"]) << step.text << ": " << report.dump();
        continue;
      default:
        EXPECT_EQ(report["status"], 0) << step.text;
    }
    reports.push_back(std::move(report));
  }

  // The sequence, and the records as the display driver lays them out.
  const auto requests = eventsOf(session->trace(), board::TraceEvent::Op::Request);
  const auto replies = eventsOf(session->trace(), board::TraceEvent::Op::Done);
  std::vector<uint32_t> codes;
  for (const board::TraceEvent* r : requests) codes.push_back(static_cast<uint32_t>(r->value));
  ASSERT_EQ(codes, std::vector<uint32_t>(std::begin(kSequence), std::end(kSequence)));
  ASSERT_EQ(replies.size(), requests.size());
  EXPECT_EQ(requests[0]->extra, sizeof(VIDEO_NUM_MODES));
  const auto count = platform::recordAt<VIDEO_NUM_MODES>(replies[0]->bytes);
  const uint64_t listBytes = uint64_t{count.NumModes} * count.ModeInformationLength;
  EXPECT_EQ(requests[1]->extra, listBytes) << "the list's output buffer";
  EXPECT_EQ(replies[1]->extra2, listBytes) << "the list's information";
  for (size_t set : {4u, 13u}) {
    EXPECT_EQ(requests[set]->bytes.size(), 4u);
    EXPECT_EQ(requests[set]->extra, 4u) << "the mode set's output buffer";
  }
  EXPECT_EQ(inputRecord<VIDEO_MEMORY>(*requests[5]).RequestedVirtualAddress, nullptr);
  for (size_t shape : {7u, 9u}) {
    ASSERT_EQ(requests[shape]->bytes.size(), 1052u);
    const auto attributes = inputRecord<VIDEO_POINTER_ATTRIBUTES>(*requests[shape]);
    EXPECT_EQ(attributes.Flags, reports[2]["result"]["Flags"]);
    EXPECT_EQ(attributes.Width, 64u);
    EXPECT_EQ(attributes.Height, 64u);
    EXPECT_EQ(attributes.WidthInBytes, 8u);
  }
  const auto edge = inputRecord<VIDEO_POINTER_ATTRIBUTES>(*requests[9]);
  EXPECT_EQ(edge.Column, -4);
  EXPECT_EQ(edge.Row, -5);
}

std::string testName(const testing::TestParamInfo<std::tuple<Board, bool>>& info) {
  std::string name = std::string(std::get<0>(info.param).chip) + "_" +
                     std::get<0>(info.param).output + (std::get<1>(info.param) ? "_sys" : "");
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

#ifdef ORVA_SYS_X86_64
const bool kDrivers[] = {false, true};
#else
const bool kDrivers[] = {false};
#endif

INSTANTIATE_TEST_SUITE_P(Boards, FramebufSession,
                         testing::Combine(testing::ValuesIn(kBoards), testing::ValuesIn(kDrivers)),
                         testName);

}  // namespace
}  // namespace orva::framebuf_test
