// Mode programming: pixel format, the 320 x 200 x 8 attribute path, failures,
// display FIFO watermarks and the output device started after the mode.
#include "hwcrtc/hwcrtc.h"
#include "orva_test.h"
#include "timing.h"

namespace orva::test {
namespace {

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
                                     WaterMarkRow{1024, 768, 16, 0xD3, 0xD0, 0xB8, 0xB8})));

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
