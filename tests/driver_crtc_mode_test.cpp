// Mode programming: every row of the mode table as the board shows it, pixel
// format, the 320 x 200 x 8 attribute path, failures, display FIFO watermarks
// and the output device started after the mode.
#include <algorithm>
#include <span>

#include "hwcrtc/hwcrtc.h"
#include "orva_test.h"
#include "reference_tables.h"
#include "timing.h"
#include "tv_encoder.h"

namespace orva::test {
namespace {

namespace ref = orva::reference;

// The hardware-ID bit of each chip variant, in board::kAllVariants order.
constexpr uint32_t kHardwareIds[] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x40, 0x80, 0x00};

uint32_t HardwareId(Variant variant) {
  const auto at =
      std::find(std::begin(board::kAllVariants), std::end(board::kAllVariants), variant);
  return kHardwareIds[at - std::begin(board::kAllVariants)];
}

template <typename Row>
const Row& Named(std::span<const Row> rows, std::string_view name) {
  const auto at = std::find_if(rows.begin(), rows.end(),
                               [&](const Row& row) { return row.timingName == name; });
  if (at == rows.end()) throw std::runtime_error("no reference row " + std::string(name));
  return *at;
}

using Pairs = std::vector<std::pair<uint8_t, uint8_t>>;

// The encoder program a TV output value leads to on a chip: format numbers other than
// 1 to 3 write the common tail alone.
const ref::EncoderProgram& EncoderProgramFor(uint32_t id, uint32_t output) {
  uint32_t format = (output >> 16) & 0xFF;
  if (format < 1 || format > 3) format = 4;
  const auto variant = std::find_if(ref::kEncoderVariants.begin(), ref::kEncoderVariants.end(),
                                    [&](const auto& v) { return v.hardwareId == id; });
  for (const ref::EncoderProgram& program : ref::kEncoderPrograms) {
    if (program.format == format && program.column == variant->column) return program;
  }
  throw std::runtime_error("no encoder program");
}

class CrtcModeTable : public testing::TestWithParam<Variant> {};

// Every row a chip can set (the first row of its size and output on the chip: a search
// never reaches the others), set through the driver: the CRTC receives the row's timing
// list in order and holds its fields, the Miscellaneous Output the row's value with the
// clock select of the VGA set-up, and a TV row's encoder its format's registers.
TEST_P(CrtcModeTable, EveryRowShowsItsTimingsOnTheBoard) {
  const uint32_t id = HardwareId(GetParam());
  auto s = Boot(GetParam());
  board::Board& b = s->board();
  unsigned rowsSet = 0;
  for (size_t r = 0; r < ref::kModes.size(); ++r) {
    const ref::ModeRow& row = ref::kModes[r];
    const auto first = std::find_if(ref::kModes.begin(), ref::kModes.end(), [&](const auto& m) {
      return m.width == row.width && m.height == row.height && m.output == row.output &&
             (m.hardwareMask & id) != 0;
    });
    if ((row.hardwareMask & id) == 0 || first != ref::kModes.begin() + r) continue;
    SCOPED_TRACE(testing::Message() << "row " << r << " " << row.timingName);
    ++rowsSet;
    s->trace().clear();
    b.tvEncoder().clearLog();
    const HWCRTC_MODE mode{0, row.width, row.height, row.width * 2u, 16};
    ASSERT_EQ(DRIVER_FN(*s, HWCRTC_InitGraphicMode)(&mode, row.output, 60), 0);

    const Pairs written = IndexedPairs(*s, 0x3D4);
    Pairs list;
    for (const ref::CrtcWrite& w : row.timings) list.emplace_back(w.index, w.value);
    EXPECT_NE(std::search(written.begin(), written.end(), list.begin(), list.end()), written.end())
        << "the timing list, pair by pair, in one run";

    const ref::CrtcFields& want = Named<ref::CrtcFields>(ref::kCrtcFields, row.timingName);
    const board::Timing t = board::decodeTiming(b);
    const board::CrtcFields& f = t.fields;
    EXPECT_EQ((std::array<unsigned, 12>{f.hTotal, f.hDisplayEnd, f.hBlankStart, f.hBlankEnd,
                                        f.hRetraceStart, f.hRetraceEnd, f.vTotal, f.vRetraceStart,
                                        f.vRetraceEnd, f.vDisplayEnd, f.vBlankStart, f.vBlankEnd}),
              (std::array<unsigned, 12>{
                  want.horizontalTotal, want.horizontalDisplayEnd, want.horizontalBlankStart,
                  want.horizontalBlankEnd, want.horizontalRetraceStart, want.horizontalRetraceEnd,
                  want.verticalTotal, want.verticalRetraceStart, want.verticalRetraceEnd,
                  want.verticalDisplayEnd, want.verticalBlankStart, want.verticalBlankEnd}));
    EXPECT_EQ(t.hSync == board::SyncPolarity::Negative, want.hsyncNegative);
    EXPECT_EQ(t.vSync == board::SyncPolarity::Negative, want.vsyncNegative);
    EXPECT_EQ(b.miscOutput(), row.miscOutputHeld);

    const bool tv = (row.output & 0xFFFF) == 2;
    for (const ref::CrtcWrite& w : row.timings) {
      uint8_t held = w.value;
      if (tv && (w.index == 0x40 || w.index == 0x42)) {
        const ref::TvCrtcHeld& h = Named<ref::TvCrtcHeld>(ref::kTvCrtcHeld, row.timingName);
        held = w.index == 0x40 ? h.crtc40 : h.crtc42;
      }
      EXPECT_EQ(b.crtc(w.index), held) << "CRTC 0x" << std::hex << int(w.index);
    }
    if (tv) {
      const ref::EncoderProgram& program = EncoderProgramFor(id, row.output);
      Pairs received, wanted;
      for (const board::TvWrite& w : b.tvEncoder().writes()) received.emplace_back(w.reg, w.value);
      for (const ref::EncoderWrite& w : program.writes) wanted.emplace_back(w.reg, w.value);
      EXPECT_EQ(received, wanted);
      for (const ref::EncoderWrite& w : program.held) {
        EXPECT_EQ(b.tvEncoder().read(w.reg), w.value) << "encoder 0x" << std::hex << int(w.reg);
      }
    }

    // The row gives every bit of the Miscellaneous Output but the clock select, which
    // keeps what the register held: seen with every bit held the other way.
    b.presetMiscOutput(static_cast<uint8_t>(~row.miscOutput));
    DRIVER_FN(*s, HWCRTC_SetCRTCTimings)(static_cast<ULONG>(r));
    EXPECT_EQ(b.miscOutput(), (row.miscOutput & 0xF3) | (~row.miscOutput & 0x0C));
  }
  EXPECT_EQ(rowsSet > 0, id != 0);

  // Enumeration: the chip's rows in table order, with their sizes, outputs and clocks.
  using Row = std::array<ULONG, 4>;
  std::vector<Row> enumerated, expected;
  Row got{};
  for (ULONG more = DRIVER_FN(*s, HWCRTC_GetFirstMode)(&got[0], &got[1], &got[2], &got[3]);
       more != 0 && enumerated.size() < 64;
       more = DRIVER_FN(*s, HWCRTC_GetNextMode)(&got[0], &got[1], &got[2], &got[3])) {
    EXPECT_EQ(more, 1u);
    enumerated.push_back(got);
  }
  for (const ref::ModeRow& row : ref::kModes) {
    if (row.hardwareMask & id) expected.push_back({row.width, row.height, row.output, row.clock});
  }
  EXPECT_EQ(enumerated, expected);
}

INSTANTIATE_TEST_SUITE_P(Variants, CrtcModeTable, testing::ValuesIn(board::kAllVariants),
                         [](const auto& info) {
                           std::string name(board::variantName(info.param));
                           std::erase(name, '-');
                           return name;
                         });

struct ModeRow {
  Variant variant;
  uint32_t width, height, output, bits;
  int32_t result;
  uint8_t crtc28 = 0, modeControl = 0;  // attribute 0x10
  uint32_t depthReadBack = 0;
};

void PrintTo(const ModeRow& row, std::ostream* os) {
  *os << board::variantName(row.variant) << " " << row.width << "x" << row.height << "x" << row.bits
      << " output 0x" << std::hex << row.output;
}

class CrtcGraphicMode : public testing::TestWithParam<ModeRow> {};

// The pixel format code and what the driver and the board read back; an unknown
// depth stops after the VGA set-up, and a missing row writes nothing at all.
TEST_P(CrtcGraphicMode, FormatCodeReadBackOrRefusal) {
  const ModeRow& row = GetParam();
  auto s = Boot(row.variant);
  board::Board& b = s->board();
  const uint32_t pitch = row.width * ((row.bits + 7) / 8);
  const HWCRTC_MODE mode{0, row.width, row.height, pitch, row.bits};
  s->trace().clear();
  ASSERT_EQ(DRIVER_FN(*s, HWCRTC_InitGraphicMode)(&mode, row.output, 60), row.result);
  if (row.result < -1) {
    for (const auto& a : Ports(*s)) EXPECT_FALSE(a.write) << Describe(a);
    return;
  }
  EXPECT_EQ(b.crtc(0x28), row.crtc28);
  if (row.result == -1) {
    EXPECT_EQ(b.miscOutput(), 0x2B);
    EXPECT_TRUE(IndexedWrites(*s, 0x3D4, 0x00).empty()) << "timings loaded";
    EXPECT_EQ(ConfigWritten(*s).size(), 1u) << "only the VGA enable";
    return;
  }
  EXPECT_EQ(b.attribute(0x10), row.modeControl);
  EXPECT_TRUE(b.paletteAddressSource());
  EXPECT_EQ(DRIVER_FN(*s, HWCRTC_GetPixelDepth)(), row.depthReadBack);
  if (row.depthReadBack != row.bits) return;  // the attribute path has no packed format
  const auto timing = board::decodeTiming(b);
  EXPECT_EQ(timing.bitsPerPixel, row.bits);
  EXPECT_EQ(timing.pitch, pitch);
  EXPECT_EQ(timing.startAddress, 0u);
}

constexpr Variant B = Variant::Bramble;
INSTANTIATE_TEST_SUITE_P(
    Rows, CrtcGraphicMode,
    testing::Values(ModeRow{B, 640, 480, 0x00010001, 8, 0, 0x11, 0x01, 8},
                    ModeRow{B, 640, 480, 0x00010001, 15, 0, 0x1A, 0x01, 15},
                    ModeRow{B, 640, 480, 0x00010001, 16, 0, 0x1B, 0x01, 16},
                    ModeRow{B, 640, 480, 0x00010001, 24, 0, 0x1C, 0x01, 24},
                    ModeRow{B, 640, 480, 0x00010001, 32, 0, 0x1D, 0x01, 32},
                    // 320 x 200 x 8 takes the 8-bit attribute path and ends with code 0.
                    ModeRow{B, 320, 200, 0x00010002, 8, 0, 0x10, 0x41, 0xFF},
                    ModeRow{B, 320, 200, 0x00020002, 8, 0, 0x10, 0x41, 0xFF},
                    ModeRow{B, 320, 200, 0x00010002, 16, 0, 0x1B, 0x01, 16},
                    // Unknown depths.
                    ModeRow{B, 640, 480, 0x00010001, 0, -1, 0x10},
                    ModeRow{B, 640, 480, 0x00010001, 4, -1, 0x10},
                    ModeRow{B, 640, 480, 0x00010001, 12, -1, 0x10},
                    ModeRow{B, 640, 480, 0x00010001, 64, -1, 0x10},
                    ModeRow{B, 640, 480, 0x00010001, 0x108, -1, 0x10},
                    // No row for the chip or the output.
                    ModeRow{Variant::Pinto, 800, 600, 0x00010003, 8, -2},
                    ModeRow{Variant::Mistral, 640, 430, 0x00020002, 8, -2},
                    ModeRow{B, 800, 600, 0x00010002, 8, -3}));

struct WaterMarkRow {
  uint32_t width, height, bitsPerPixel;
  uint8_t edo1B, edo27, sdram1B, sdram27;
};

class CrtcWaterMark : public testing::TestWithParam<std::tuple<Variant, WaterMarkRow>> {};

TEST_P(CrtcWaterMark, ThresholdsOfTheMemoryController) {
  const auto [variant, row] = GetParam();
  const bool sdram = variant == Variant::BrambleL || variant == Variant::Kestrel;
  auto s = Boot(variant);
  board::Board& b = s->board();
  s->trace().clear();
  DRIVER_FN(*s, HWCRTC_SetWaterMark)(row.width, row.height, row.bitsPerPixel);
  EXPECT_EQ(b.crtc(0x1B), sdram ? row.sdram1B : row.edo1B);
  EXPECT_EQ(b.crtc(0x27), sdram ? row.sdram27 : row.edo27);
  EXPECT_EQ(IndexedWrites(*s, 0x3D4, 0x1B).size(), 1u);
  EXPECT_EQ(IndexedWrites(*s, 0x3D4, 0x27).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CrtcWaterMark,
    testing::Combine(testing::Values(Variant::Pinto, Variant::Mistral, Variant::BrambleL,
                                     Variant::Kestrel),
                     testing::Values(WaterMarkRow{640, 480, 8, 0x3B, 0xD0, 0x3B, 0xB8},
                                     WaterMarkRow{720, 576, 8, 0x4E, 0xD0, 0x4E, 0xB8},
                                     WaterMarkRow{720, 480, 16, 0x7C, 0xD0, 0x7C, 0xB8},
                                     WaterMarkRow{1280, 1024, 8, 0xC8, 0xD0, 0xB4, 0xB8},
                                     WaterMarkRow{320, 200, 8, 0x39, 0xD0, 0x39, 0xB8},
                                     WaterMarkRow{1600, 1200, 8, 0xD3, 0xD0, 0xB8, 0xB8},
                                     WaterMarkRow{640, 430, 8, 0x39, 0xD0, 0x39, 0xB8},
                                     // t = 256,000 x 1024 / 563,200 = 465 between the
                                     // 800 x 600 x 8 and 640 x 430 x 16 rows.
                                     WaterMarkRow{640, 400, 16, 0x61, 0xD0, 0x61, 0xB8},
                                     WaterMarkRow{1024, 768, 16, 0xD3, 0xD0, 0xB8, 0xB8})));

// Every row of the watermark table, set at exactly its frame size on each chip it applies
// to, is loaded as it stands.
TEST_P(CrtcModeTable, EveryWaterMarkRowAtItsOwnSize) {
  const uint32_t id = HardwareId(GetParam());
  auto s = Boot(GetParam());
  for (const ref::WatermarkRow& row : ref::kWatermarks) {
    if ((row.hardwareMask & id) == 0) continue;
    DRIVER_FN(*s, HWCRTC_SetWaterMark)(row.frameBits, 1, 1);
    EXPECT_EQ(s->board().crtc(0x1B), row.crtc1B) << row.frameBits;
    EXPECT_EQ(s->board().crtc(0x27), row.crtc27) << row.frameBits;
  }
}

struct ControllerRow {
  Variant variant;
  uint32_t output;
  const char* init = nullptr;  // the device start the output leads to; none: nothing on the bus
  uint32_t argument = 0;
  uint32_t otherArgument = 0;  // an argument whose start differs on the bus
};

class CrtcOutputDevice : public testing::TestWithParam<ControllerRow> {};

TEST_P(CrtcOutputDevice, StartsTheDeviceOfTheOutputClass) {
  const ControllerRow& row = GetParam();
  // The port, register and stall events of one call on a fresh board.
  auto run = [&row](auto&& call) {
    auto s = Boot(row.variant);
    s->trace().clear();
    call(*s);
    std::vector<std::tuple<Op, uint64_t, uint64_t>> out;
    for (const auto& e : Events(*s, {Op::Out, Op::Write, Op::Stall, Op::In, Op::Read})) {
      out.emplace_back(e.op, e.address, e.value);
    }
    return out;
  };
  const auto viaController = run([&](Session& s) {
    DRIVER_FN(s, HWCRTC_InitAdditionnalController)
    (row.output);
  });
  if (row.init == nullptr) {
    EXPECT_TRUE(viaController.empty());
    return;
  }
  const auto direct = run([&](Session& s) { Sym<void(ULONG)>(s, row.init)(row.argument); });
  const auto other = run([&](Session& s) { Sym<void(ULONG)>(s, row.init)(row.otherArgument); });
  EXPECT_FALSE(viaController.empty());
  EXPECT_EQ(viaController, direct);
  EXPECT_NE(viaController, other);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, CrtcOutputDevice,
    testing::Values(ControllerRow{Variant::Bramble, 0x00020002, "HWTVE_Init", 2, 1},
                    ControllerRow{Variant::Bramble, 0x01020002, "HWTVE_Init", 0x102, 2},
                    ControllerRow{Variant::BrambleR, 0x00010002, "HWTVE_Init", 1, 2},
                    ControllerRow{Variant::Mistral, 0x00020003, "HWTFT_Init", 2, 1},
                    ControllerRow{Variant::Mistral, 0x00010003, "HWTFT_Init", 1, 2},
                    // The monitor class starts nothing.
                    ControllerRow{Variant::Mistral, 0x00010001},
                    ControllerRow{Variant::Mistral, 0x00020001},
                    ControllerRow{Variant::Mistral, 0x00030001},
                    ControllerRow{Variant::Mistral, 0x00000004}));

}  // namespace
}  // namespace orva::test
