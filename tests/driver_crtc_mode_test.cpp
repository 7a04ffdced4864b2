// Mode programming: pixel format, the 320 x 200 x 8 attribute path, failures,
// display FIFO watermarks and the output device started after the mode.
#include "driver_crtc_fixture.h"
#include "timing.h"

namespace orva::crtc_test {
namespace {

using board::TraceEvent;
using board::Variant;

struct DepthRow {
  uint32_t bitsPerPixel;
  uint8_t crtc28;
};

class CrtcPixelDepth : public testing::TestWithParam<DepthRow> {};

TEST_P(CrtcPixelDepth, FormatCodeAndReadBack) {
  const DepthRow& row = GetParam();
  CrtcBoard b(Variant::Bramble);
  const uint32_t pitch = 640 * ((row.bitsPerPixel + 7) / 8);
  const HWCRTC_MODE mode{0, 640, 480, pitch, row.bitsPerPixel};
  ASSERT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, 0x00010001, 60), 0);
  EXPECT_EQ(b.board().crtc(0x28), row.crtc28);
  EXPECT_EQ(CRTC_FN(b, HWCRTC_GetPixelDepth)(), row.bitsPerPixel);
  const auto timing = board::decodeTiming(b.board());
  EXPECT_EQ(timing.bitsPerPixel, row.bitsPerPixel);
  EXPECT_EQ(timing.pitch, pitch);
  EXPECT_EQ(timing.startAddress, 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, CrtcPixelDepth,
                         testing::Values(DepthRow{8, 0x11}, DepthRow{15, 0x1A}, DepthRow{16, 0x1B},
                                         DepthRow{24, 0x1C}, DepthRow{32, 0x1D}));

TEST(CrtcPixelDepth, UnknownDepthStopsAfterTheVgaSetUp) {
  for (uint32_t bits : {0u, 4u, 12u, 64u, 0x108u}) {
    CrtcBoard b(Variant::Bramble);
    const HWCRTC_MODE mode{0, 640, 480, 1280, bits};
    b.mark();
    EXPECT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, 0x00010001, 60), -1) << bits;
    EXPECT_EQ(b.board().crtc(0x28), 0x10) << bits;
    EXPECT_EQ(b.board().miscOutput(), 0x2B) << bits;
    EXPECT_TRUE(b.indexedWrites(0x3D4, 0x00).empty()) << "timings loaded for depth " << bits;
    EXPECT_TRUE(b.configRegistersWritten().size() == 1) << "only the VGA enable, depth " << bits;
  }
}

TEST(CrtcModeSet, MissingRowWritesNothing) {
  struct Row {
    Variant variant;
    uint32_t width, height, output;
    int32_t result;
  };
  for (const Row& row : {Row{Variant::Pinto, 800, 600, 0x00010003, -2},
                         Row{Variant::Mistral, 640, 430, 0x00020002, -2},
                         Row{Variant::Bramble, 800, 600, 0x00010002, -3}}) {
    CrtcBoard b(row.variant);
    const HWCRTC_MODE mode{0, row.width, row.height, row.width, 8};
    b.mark();
    EXPECT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, row.output, 60), row.result);
    for (const auto& a : b.ports()) EXPECT_FALSE(a.write) << Describe(a);
  }
}

struct DoubledRow {
  uint32_t output;
  uint32_t bitsPerPixel;
  uint8_t crtc28;
  uint8_t modeControl;
  uint32_t depthReadBack;
};

class CrtcLowResolution : public testing::TestWithParam<DoubledRow> {};

TEST_P(CrtcLowResolution, EightBitPathEndsWithCodeZero) {
  const DoubledRow& row = GetParam();
  CrtcBoard b(Variant::Bramble);
  const HWCRTC_MODE mode{0, 320, 200, 320 * row.bitsPerPixel / 8, row.bitsPerPixel};
  ASSERT_EQ(CRTC_FN(b, HWCRTC_InitGraphicMode)(&mode, row.output, 60), 0);
  EXPECT_EQ(b.board().crtc(0x28), row.crtc28);
  EXPECT_EQ(b.board().attribute(0x10), row.modeControl);
  EXPECT_TRUE(b.board().paletteAddressSource());
  EXPECT_EQ(CRTC_FN(b, HWCRTC_GetPixelDepth)(), row.depthReadBack);
}

INSTANTIATE_TEST_SUITE_P(Rows, CrtcLowResolution,
                         testing::Values(DoubledRow{0x00010002, 8, 0x10, 0x41, 0xFF},
                                         DoubledRow{0x00020002, 8, 0x10, 0x41, 0xFF},
                                         DoubledRow{0x00010002, 16, 0x1B, 0x01, 16}));

struct WaterMarkRow {
  uint32_t width, height, bitsPerPixel;
  uint8_t edo1B, edo27, sdram1B, sdram27;
};

class CrtcWaterMark : public testing::TestWithParam<std::tuple<Variant, WaterMarkRow>> {};

TEST_P(CrtcWaterMark, ThresholdsOfTheMemoryController) {
  const auto [variant, row] = GetParam();
  const bool sdram = variant == Variant::BrambleL || variant == Variant::Kestrel;
  CrtcBoard b(variant);
  b.mark();
  CRTC_FN(b, HWCRTC_SetWaterMark)(row.width, row.height, row.bitsPerPixel);
  EXPECT_EQ(b.board().crtc(0x1B), sdram ? row.sdram1B : row.edo1B);
  EXPECT_EQ(b.board().crtc(0x27), sdram ? row.sdram27 : row.edo27);
  EXPECT_EQ(b.indexedWrites(0x3D4, 0x1B).size(), 1u);
  EXPECT_EQ(b.indexedWrites(0x3D4, 0x27).size(), 1u);
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

// Every access a session recorded, reduced to what the devices saw.
std::vector<std::tuple<TraceEvent::Op, uint64_t, uint64_t>> BusWrites(CrtcBoard& b) {
  std::vector<std::tuple<TraceEvent::Op, uint64_t, uint64_t>> out;
  for (const auto& e : b.board().trace().events()) {
    if (e.op == TraceEvent::Op::Out || e.op == TraceEvent::Op::Write ||
        e.op == TraceEvent::Op::Stall) {
      out.emplace_back(e.op, e.address, e.value);
    }
  }
  return out;
}

struct ControllerRow {
  Variant variant;
  uint32_t output;
  const char* init;  // the device start the output value leads to
  uint32_t argument;
  uint32_t otherArgument;  // an argument whose start differs on the bus
};

class CrtcOutputDevice : public testing::TestWithParam<ControllerRow> {};

TEST_P(CrtcOutputDevice, StartsTheDeviceOfTheOutputClass) {
  const ControllerRow& row = GetParam();
  using Init = void(ULONG);
  auto run = [&row](auto&& call) {
    auto b = std::make_unique<CrtcBoard>(row.variant);
    b->mark();
    call(*b);
    return BusWrites(*b);
  };
  const auto viaController = run([&](CrtcBoard& b) {
    CRTC_FN(b, HWCRTC_InitAdditionnalController)
    (row.output);
  });
  const auto direct = run([&](CrtcBoard& b) { b.fn<Init>(row.init)(row.argument); });
  const auto other = run([&](CrtcBoard& b) { b.fn<Init>(row.init)(row.otherArgument); });
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
                    ControllerRow{Variant::Mistral, 0x00010003, "HWTFT_Init", 1, 2}));

TEST(CrtcOutputDevice, MonitorClassStartsNothing) {
  for (uint32_t output : {0x00010001u, 0x00020001u, 0x00030001u, 0x00000004u}) {
    CrtcBoard b(Variant::Mistral);
    b.mark();
    CRTC_FN(b, HWCRTC_InitAdditionnalController)(output);
    EXPECT_TRUE(b.board().trace().events().empty()) << std::hex << output;
  }
}

}  // namespace
}  // namespace orva::crtc_test
