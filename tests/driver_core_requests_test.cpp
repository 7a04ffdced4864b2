// The request surface as a display driver meets it: buffer checks, reset, the
// mode set and the memory behind the screen, refused mode numbers, mapping and
// sharing, palette, pointer, and the private port and mapping requests.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

#include "orva_test.h"

namespace orva::test {
namespace {

using platform::modeNumber;
using platform::RequestResult;

constexpr uint64_t kFrameBuffer = 0x08800000;  // GBASE + 8 MB with CRTC 0x20 = 0
constexpr ULONG k640x480x8 = modeNumber(1, 0, 0), k640x480x16at75 = modeNumber(1, 1, 2);
constexpr ULONG k800x600x8 = modeNumber(2, 0, 0), k1024x768x8 = modeNumber(3, 0, 0);

void Fill(Session& session, uint8_t pattern) {
  std::fill_n(session.board().vram(), session.board().vramSize(), pattern);
}

bool Holds(Session& session, uint8_t pattern, size_t from, size_t to = SIZE_MAX) {
  const uint8_t* v = session.board().vram();
  return std::all_of(v + from, v + std::min(to, session.board().vramSize()),
                     [&](uint8_t b) { return b == pattern; });
}

TEST(BufferLengths, ShortBuffersGetInsufficientBufferAndNothingElse) {
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, k640x480x8).status, 0u);
  const ULONG modes = platform::queryNumModes(*session).value.NumModes;
  const ULONG mem = sizeof(VIDEO_MEMORY), memInfo = sizeof(VIDEO_MEMORY_INFORMATION);
  const ULONG share = sizeof(VIDEO_SHARE_MEMORY),
              shareInfo = sizeof(VIDEO_SHARE_MEMORY_INFORMATION);
  // clang-format off
  const std::array<ULONG, 3> cases[] = {  // code, input, output
      {IOCTL_VIDEO_QUERY_AVAIL_MODES, 0, modes * 80 - 1}, {IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, 0, 7},
      {IOCTL_VIDEO_QUERY_CURRENT_MODE, 0, 79},          {IOCTL_VIDEO_SET_CURRENT_MODE, 3, 0},
      {IOCTL_VIDEO_SET_COLOR_REGISTERS, 3, 0},          {IOCTL_VIDEO_SET_POINTER_ATTR, 1051, 0},
      {IOCTL_VIDEO_SET_POINTER_POSITION, 3, 0},         {IOCTL_VIDEO_QUERY_POINTER_POSITION, 0, 3},
      {IOCTL_VIDEO_QUERY_POINTER_CAPABILITIES, 0, 19},  {IOCTL_VIDEO_UNMAP_VIDEO_MEMORY, mem - 1, 0},
      {IOCTL_VIDEO_MAP_VIDEO_MEMORY, mem, memInfo - 1}, {IOCTL_VIDEO_MAP_VIDEO_MEMORY, mem - 1, memInfo},
      {IOCTL_VIDEO_SHARE_VIDEO_MEMORY, share, shareInfo - 1},
      {IOCTL_VIDEO_SHARE_VIDEO_MEMORY, share - 1, shareInfo},
      {IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, share - 1, 0}, {IOCTL_DRIVER_QUERY_FB_FREE, 0, 3},
      {IOCTL_DRIVER_MEMORY_MAP, 8, 3},       {IOCTL_DRIVER_MEMORY_MAP, 7, 4},
      {IOCTL_DRIVER_IO_MAP, 8, 3},           {IOCTL_DRIVER_IO_MAP, 7, 4},
      {IOCTL_DRIVER_READ_PORT_UCHAR, 4, 4},  {IOCTL_DRIVER_READ_PORT_UCHAR, 8, 3},
      {IOCTL_DRIVER_READ_PORT_USHORT, 7, 4}, {IOCTL_DRIVER_READ_PORT_ULONG, 7, 4},
      {IOCTL_DRIVER_WRITE_PORT_UCHAR, 11, 0}, {IOCTL_DRIVER_WRITE_PORT_USHORT, 11, 0},
      {IOCTL_DRIVER_WRITE_PORT_ULONG, 11, 0}};
  // clang-format on
  const auto extension = Extension(*session);
  for (auto [code, in, out] : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << code << std::dec << " in " << in << " out " << out);
    std::vector<uint8_t> input(in);  // bytes that would name a real port if they were used
    for (size_t i = 0; i < in; ++i) input[i] = i % 2 ? 0x03 : 0xD4;
    session->trace().clear();
    const RequestResult r = session->request(code, input, out);
    EXPECT_EQ(r.status, 122u);
    EXPECT_EQ(r.information, 0u);
    EXPECT_EQ(r.output, std::vector<uint8_t>(out, 0));  // an error copies nothing back
    EXPECT_TRUE(Events(*session).empty());
  }
  EXPECT_TRUE(SameExtension(*session, extension));
}

TEST(Dispatch, UnknownCodesAreInvalidFunctionsAndNopTakesAnyBuffers) {
  auto session = Boot(Variant::Bramble);
  // Before any mode set the current mode is all zero and nothing is free.
  const auto reply = platform::queryCurrentMode(*session);
  EXPECT_EQ(reply.raw.information, 80u);
  const auto& m = reply.value;
  EXPECT_EQ((std::array<ULONG, 6>{m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.ScreenStride,
                                  m.BitsPerPlane, m.Frequency}),
            (std::array<ULONG, 6>{}));
  EXPECT_EQ(platform::queryFrameBufferFree(*session).value, 0u);
  session->trace().clear();
  for (ULONG code : {0x230444u, 0x230460u, 0x230468u, 0u, 0xFFFFFFFFu, 0x830020E8u, 0x230405u}) {
    const RequestResult r = session->request(code, std::vector<uint8_t>(8, 1), 16);
    EXPECT_EQ(r.status, 1u) << std::hex << code;
  }
  EXPECT_EQ(platform::nop(*session).status, 0u);
  const RequestResult r = session->request(IOCTL_DRIVER_NOP, std::vector<uint8_t>(8, 9), 8);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.information, 0u);
  EXPECT_EQ(r.output, std::vector<uint8_t>(8, 0));
  EXPECT_TRUE(Events(*session).empty());
}

// The request buffer is not zeroed (the library fills it with 0xCD past the
// input, pool memory holds whatever was there): every byte a reply reports must
// be one the driver wrote, padding included.
TEST(Dispatch, RepliesCarryNoBytesTheDriverLeftUnwritten) {
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, k640x480x8).status, 0u);
  const auto process = session->createProcess();
  const std::vector<std::pair<const char*, RequestResult>> replies = {
      {"modes", platform::queryModes(*session).raw},
      {"current mode", platform::queryCurrentMode(*session).raw},
      {"map", platform::mapVideoMemory(*session).raw},
      {"share", platform::shareVideoMemory(*session, process, 0, 0x1000).raw},
      {"pointer capabilities", platform::queryPointerCapabilities(*session).raw},
      {"mode count", platform::queryNumModes(*session).raw},
      {"free memory", platform::queryFrameBufferFree(*session).raw}};
  for (const auto& [name, reply] : replies) {
    SCOPED_TRACE(name);
    ASSERT_EQ(reply.status, 0u);
    ASSERT_GT(reply.information, 0u);
    for (size_t at = 0; at + 4 <= reply.information; at += 4) {
      uint32_t word = 0;
      std::memcpy(&word, reply.output.data() + at, 4);
      EXPECT_NE(word, 0xCDCDCDCDu) << "unwritten bytes at offset " << at;
    }
  }
}

TEST(Palette, LoadsInPaletteModesOnlyAndNeedsFourBytesPerEntry) {
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, k640x480x8).status, 0u);
  std::vector<uint8_t> input = {0x00, 0x01, 0x00, 0x00};  // 256 entries from 0
  for (int i = 0; i < 256; ++i) input.insert(input.end(), {uint8_t(i), uint8_t(255 - i), 7, 0});
  session->trace().clear();
  const std::vector<uint8_t> shorter(input.begin(), input.end() - 1);  // 1027 bytes
  EXPECT_EQ(session->request(IOCTL_VIDEO_SET_COLOR_REGISTERS, shorter, 0).status, 122u);
  EXPECT_TRUE(Events(*session).empty());
  EXPECT_EQ(session->request(IOCTL_VIDEO_SET_COLOR_REGISTERS, input, 0).status, 0u);
  EXPECT_EQ(session->board().dac(200), (std::array<uint8_t, 3>{200, 55, 7}));

  // A direct-colour mode has no palette: success, and the DAC is not touched.
  ASSERT_EQ(platform::setMode(*session, k640x480x16at75).status, 0u);
  session->trace().clear();
  EXPECT_EQ(session->request(IOCTL_VIDEO_SET_COLOR_REGISTERS, input, 0).status, 0u);
  EXPECT_TRUE(Events(*session).empty());
}

TEST(Reset, WritesTheTwoEngineRegistersAndNothingElse) {
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, k800x600x8).status, 0u);
  const auto extension = Extension(*session);
  session->trace().clear();
  EXPECT_EQ(platform::resetDevice(*session).status, 0u);
  std::vector<std::array<uint64_t, 4>> seen;  // write?, width, address, value
  for (const auto& e : Events(*session))
    seen.push_back({e.op == Op::Write, e.width, e.address, e.value});
  EXPECT_EQ(seen, (std::vector<std::array<uint64_t, 4>>{{1, 32, 0x08400004, 0},
                                                        {1, 32, 0x08400034, 0xFFFFFFFF}}));
  EXPECT_EQ(session->board().geRegister(0x34), 0xFFFFFFFFu);
  EXPECT_TRUE(SameExtension(*session, extension));
}

// The video port library runs HwInitialize at every open of the device (a display
// driver disabled and enabled again opens it again): the driver's touches nothing,
// loses nothing, and the next mode set writes the board as the first one did (its
// reads see the first mode's registers, so only the writes are compared).
TEST(Reset, ADeviceOpenedAgainKeepsItsStateAndSetsModesAlike) {
  auto session = Boot(Variant::Bramble);
  const auto busEvents = [&](std::vector<Op> ops) {
    std::vector<std::array<uint64_t, 5>> seen;  // op, width, address, value, undecoded
    for (const auto& e : Events(*session, ops))
      seen.push_back({static_cast<uint64_t>(e.op), e.width, e.address, e.value, e.undecoded});
    return seen;
  };
  const std::vector<Op> writes = {Op::Out, Op::Write};
  session->trace().clear();
  ASSERT_EQ(platform::setMode(*session, k800x600x8).status, 0u);
  const auto first = busEvents(writes);
  const auto extension = Extension(*session);
  EXPECT_EQ(platform::resetDevice(*session).status, 0u);
  session->close();
  session->trace().clear();
  ASSERT_TRUE(session->open());
  EXPECT_TRUE(busEvents({Op::In, Op::Out, Op::Read, Op::Write}).empty());
  EXPECT_TRUE(SameExtension(*session, extension));
  ASSERT_EQ(platform::setMode(*session, k800x600x8).status, 0u);
  EXPECT_EQ(busEvents(writes), first);
}

// --- The mode set ----------------------------------------------------------------------

struct Layout {
  const char* output;
  ULONG mode, width, height, bpp, frequency, pitch;
  ULONG pointerArea;  // the surface rounded up to 2 KB
};

class ModeSet : public ::testing::TestWithParam<Layout> {};

TEST_P(ModeSet, ClearsTheSurfaceAndLaysOutThePointerArea) {
  const Layout& p = GetParam();
  auto session = Boot(Variant::Bramble, p.output);
  Fill(*session, 0xA5);
  ASSERT_EQ(platform::setMode(*session, p.mode).status, 0u);
  EXPECT_TRUE(Holds(*session, 0x00, 0, p.pitch * p.height));
  EXPECT_TRUE(Holds(*session, 0xA5, p.pointerArea + 0x1400));

  const auto m = platform::queryCurrentMode(*session).value;
  EXPECT_EQ((std::array<ULONG, 6>{m.ModeIndex, m.VisScreenWidth, m.VisScreenHeight, m.BitsPerPlane,
                                  m.Frequency, m.ScreenStride}),
            (std::array<ULONG, 6>{p.mode, p.width, p.height, p.bpp, p.frequency, p.pitch}));
  const auto free = platform::queryFrameBufferFree(*session);
  EXPECT_EQ(free.raw.information, 4u);
  EXPECT_EQ(free.value, p.pointerArea + 0x1400);
  const auto caps = platform::queryPointerCapabilities(*session);
  EXPECT_EQ(caps.raw.information, 20u);
  EXPECT_EQ((std::array<ULONG, 5>{caps.value.Flags, caps.value.MaxWidth, caps.value.MaxHeight,
                                  caps.value.HWPtrBitmapStart, caps.value.HWPtrBitmapEnd}),
            (std::array<ULONG, 5>{0x03, 64, 64, p.pointerArea, p.pointerArea + 0x1000}));
  // The cursor's two shifted masks follow the two shapes.
  EXPECT_EQ(*Sym<ULONG>(*session, "HWCURSOR_ulShiftedMask1"), p.pointerArea + 0x800);
  EXPECT_EQ(*Sym<ULONG>(*session, "HWCURSOR_ulShiftedMask2"), p.pointerArea + 0xC00);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ModeSet,
    ::testing::Values(Layout{nullptr, k800x600x8, 800, 600, 8, 60, 800, 481280},
                      Layout{nullptr, k640x480x16at75, 640, 480, 16, 75, 1280, 614400},
                      Layout{nullptr, modeNumber(5, 1, 7), 1600, 1200, 16, 100, 3200, 3840000},
                      // A fixed-timing TV row runs at the first rate of the list.
                      Layout{"TVPAL", modeNumber(8, 2, 0), 720, 576, 24, 60, 2176, 1253376}));

struct Refusal {
  const char* name;
  const char* output;
  uint32_t memory;
  ULONG mode;
};

class RefusedMode : public ::testing::TestWithParam<Refusal> {};

// A number the list never offered changes no register, no byte, no current mode.
TEST_P(RefusedMode, LeavesEverythingAsItWas) {
  const Refusal& p = GetParam();
  auto session = Boot(Variant::Bramble, p.output, p.memory);
  const auto listed = platform::queryModes(*session).value;
  ASSERT_EQ(platform::setMode(*session, listed.at(0).ModeIndex).status, 0u);
  for (const auto& m : listed) ASSERT_NE(m.ModeIndex, p.mode);
  Fill(*session, 0x5A);
  const auto extension = Extension(*session);
  session->trace().clear();
  EXPECT_EQ(platform::setMode(*session, p.mode).status, 87u);
  EXPECT_TRUE(Events(*session).empty());
  EXPECT_TRUE(Holds(*session, 0x5A, 0));
  EXPECT_TRUE(SameExtension(*session, extension));
}

INSTANTIATE_TEST_SUITE_P(
    NeverOffered, RefusedMode,
    ::testing::Values(Refusal{"DepthIndexThree", nullptr, 4u << 20, modeNumber(1, 3, 0)},
                      Refusal{"PastTheChipsRows", nullptr, 4u << 20, modeNumber(22, 0, 0)},
                      Refusal{"HugeOrdinal", nullptr, 4u << 20, 0xFFFFFFE0u},
                      Refusal{"RateOnFixedTiming", "TVPAL", 4u << 20, modeNumber(7, 0, 1)},
                      Refusal{"RowOfAnotherOutput", nullptr, 4u << 20, modeNumber(7, 0, 0)},
                      Refusal{"MonitorRowUnderTv", "TVPAL", 4u << 20, modeNumber(1, 0, 0)},
                      Refusal{"DoesNotFit", nullptr, 4u << 20, modeNumber(5, 2, 0)},
                      Refusal{"DoesNotFitSmallMemory", nullptr, 1u << 20, modeNumber(3, 1, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Mapping and sharing ------------------------------------------------------------

TEST(VideoMemory, MapHandsOutTheWholeFrameBuffer) {
  auto session = Boot(Variant::Bramble);
  const auto reply = platform::mapVideoMemory(*session);
  ASSERT_EQ(reply.status(), 0u);
  EXPECT_EQ(reply.raw.information, sizeof(VIDEO_MEMORY_INFORMATION));
  EXPECT_EQ(reply.value.VideoRamLength, 4u << 20);
  EXPECT_EQ(reply.value.FrameBufferLength, 4u << 20);
  EXPECT_EQ(reply.value.FrameBufferBase, reply.value.VideoRamBase);
  // A system-space address, whole: above 4 GB in a 64-bit process.
  const auto base = reinterpret_cast<uintptr_t>(reply.value.VideoRamBase);
  EXPECT_EQ(base >> 32 != 0, sizeof(void*) == 8);
  EXPECT_TRUE(session->userMappings().empty());
  static_cast<uint8_t*>(reply.value.VideoRamBase)[12345] = 0x77;
  EXPECT_EQ(session->board().vram()[12345], 0x77);
  EXPECT_EQ(platform::unmapVideoMemory(*session, reply.value.VideoRamBase).status, 0u);
}

TEST(VideoMemory, ShareTakesViewsInsideTheFrameBufferOnly) {
  auto session = Boot(Variant::Bramble);
  const ULONG length = Extension(*session).ulFrameBufferLength;
  HANDLE process = session->createProcess();
  struct Case {
    ULONG offset, size;
    bool inside;
  };
  for (const Case& c : {Case{0, length, true},
                        {0x100, length - 0x100, true},
                        {length, 0, true},
                        {length, 1, false},
                        {length + 1, 0, false},
                        {0, 0xFFFFFFFF, false},
                        {0xFFFFFFFF, 2, false},
                        {1, length, false}}) {
    SCOPED_TRACE(testing::Message() << c.offset << " + " << c.size);
    const auto reply = platform::shareVideoMemory(*session, process, c.offset, c.size);
    if (!c.inside) {
      EXPECT_EQ(reply.status(), 87u);
      EXPECT_EQ(reply.raw.information, 0u);
      EXPECT_TRUE(session->userMappings().empty());
      continue;
    }
    EXPECT_EQ(reply.raw.information, sizeof(VIDEO_SHARE_MEMORY_INFORMATION));
    if (c.size == 0) {  // nothing to map: the library's refusal stands, nothing comes back
      EXPECT_EQ(reply.status(), 87u);
      continue;
    }
    ASSERT_EQ(reply.status(), 0u);
    EXPECT_EQ(reply.value.SharedViewOffset, c.offset);
    EXPECT_EQ(reply.value.SharedViewSize, c.size);
    ASSERT_EQ(session->userMappings().size(), 1u);  // from the start; the caller adds the offset
    EXPECT_EQ(session->userMappings()[0].physical, kFrameBuffer);
    EXPECT_EQ(platform::unshareVideoMemory(*session, process, reply.value.VirtualAddress).status,
              0u);
  }
}

// --- Pointer -------------------------------------------------------------------------

// The display driver's request: the attribute record, padded to 28 bytes by its
// one-byte pixel array, then the 1024-byte shape from the pixel array on: 1052 bytes.
RequestResult SetPointer(Session& session, uint8_t seed, ULONG width = 64, ULONG height = 64,
                         ULONG flags = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_MONO_POINTER) {
  VIDEO_POINTER_ATTRIBUTES header{};
  header.Flags = flags;
  header.Width = width;
  header.Height = height;
  header.WidthInBytes = 8;
  std::vector<uint8_t> input(sizeof header + 1024, 0);
  std::memcpy(input.data(), &header, offsetof(VIDEO_POINTER_ATTRIBUTES, Pixels));
  for (size_t i = 0; i < 1024; ++i) input[24 + i] = static_cast<uint8_t>(seed + i);
  return session.request(IOCTL_VIDEO_SET_POINTER_ATTR, input, 0);
}

bool ShapeAt(Session& session, ULONG offset, uint8_t seed) {
  for (size_t i = 0; i < 1024; ++i)
    if (session.board().vram()[offset + i] != static_cast<uint8_t>(seed + i)) return false;
  return true;
}

TEST(Pointer, ShapesAlternateBetweenTheTwoBuffers) {
  auto session = Boot(Variant::Bramble);
  ASSERT_EQ(platform::setMode(*session, k1024x768x8).status, 0u);
  const ULONG area = 1024 * 768;  // already 2 KB aligned
  ASSERT_EQ(SetPointer(*session, 1).status, 0u);
  EXPECT_TRUE(ShapeAt(*session, area + 0x400, 1));
  EXPECT_EQ(platform::queryPointerCapabilities(*session).value.HWPtrBitmapStart, area + 0x400);
  ASSERT_EQ(SetPointer(*session, 100).status, 0u);
  EXPECT_TRUE(ShapeAt(*session, area, 100));
  EXPECT_TRUE(ShapeAt(*session, area + 0x400, 1));
  EXPECT_EQ(platform::queryPointerCapabilities(*session).value.HWPtrBitmapStart, area);

  for (auto [column, row] : {std::pair<int16_t, int16_t>{100, 50}, {-20, -7}}) {
    ASSERT_EQ(platform::setPointerPosition(*session, column, row).status, 0u);
    const auto position = platform::queryPointerPosition(*session);
    EXPECT_EQ(position.raw.information, 4u);
    EXPECT_EQ(position.value.Column, column);
    EXPECT_EQ(position.value.Row, row);
  }
}

TEST(Pointer, RefusedShapesAreNotWritten) {
  const ULONG colour = VIDEO_MODE_ASYNC_POINTER | VIDEO_MODE_COLOR_POINTER;
  struct Case {
    uint32_t memory;
    ULONG mode, width, height, flags;
  };
  for (const Case& c :
       {Case{4u << 20, modeNumber(4, 0, 0), 64, 64, 0x03},  // 1280 wide
        Case{4u << 20, k1024x768x8, 65, 64, 0x03}, Case{4u << 20, k1024x768x8, 64, 65, 0x03},
        Case{4u << 20, k1024x768x8, 32, 32, colour},
        Case{0, 0xFFFFFFFF, 64, 64, 0x03}}) {  // no display memory at all
    auto session = Boot(Variant::Bramble, nullptr, c.memory);
    if (c.mode != 0xFFFFFFFF) {
      ASSERT_EQ(platform::setMode(*session, c.mode).status, 0u);
    }
    const auto extension = Extension(*session);
    Fill(*session, 0x3C);
    EXPECT_EQ(SetPointer(*session, 9, c.width, c.height, c.flags).status, 87u);
    EXPECT_TRUE(Holds(*session, 0x3C, 0));
    EXPECT_TRUE(SameExtension(*session, extension));
  }
}

// --- Private requests ----------------------------------------------------------------

TEST(PortRequests, ReachTheBoardAtTheirWidthWithTheirDataMasked) {
  auto session = Boot(Variant::Bramble);
  session->trace().clear();
  EXPECT_EQ(platform::writePort(*session, 8, 0x3D0, 4, 0xFFFFFF13).status, 0u);
  EXPECT_EQ(platform::writePort(*session, 8, 0x3D0, 5, 0x123456F8).status, 0u);
  EXPECT_EQ(platform::writePort(*session, 16, 0x3C4, 0, 0x1234F678).status, 0u);
  EXPECT_EQ(platform::writePort(*session, 32, 0xCF8, 0, 0x80005800).status, 0u);
  const auto id = platform::readPort(*session, 32, 0xCF8, 4);
  const auto crtc = platform::readPort(*session, 8, 0xFFFFFFFF, 0x3D6);  // the sum wraps at 32 bits
  const auto open = platform::readPort(*session, 16, 0x6F0, 0);
  using Seen = std::array<uint64_t, 4>;  // out?, width, port, value
  std::vector<Seen> seen;
  for (const auto& e : Events(*session))
    seen.push_back({e.op == Op::Out, e.width, e.address, e.value});
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0], (Seen{1, 8, 0x3D4, 0x13}));
  EXPECT_EQ(seen[1], (Seen{1, 8, 0x3D5, 0xF8}));
  EXPECT_EQ(seen[2], (Seen{1, 16, 0x3C4, 0xF678}));
  EXPECT_EQ(seen[3], (Seen{1, 32, 0xCF8, 0x80005800}));
  EXPECT_EQ(seen[4][2], 0xCFCu);
  EXPECT_EQ(seen[5], (Seen{0, 8, 0x3D5, 0xF8}));
  EXPECT_EQ(session->board().crtc(0x13), 0xF8);
  EXPECT_EQ(id.raw.information, 4u);
  EXPECT_EQ(id.value >> 16, 0x0209u);  // device 11 of a Bramble
  EXPECT_EQ(crtc.value, 0xF8u);
  EXPECT_EQ(open.value, 0xFFFFu);  // zero-extended: all ones at its width only
}

TEST(MapRequests, ReturnTheMappedAddressOrZero) {
  auto session = Boot(Variant::Bramble);
  session->trace().clear();
  const auto io = platform::ioMap(*session, 0x3C0, 0x20);
  EXPECT_EQ(io.raw.information, 4u);
  EXPECT_EQ(io.value, 0x3C0u);  // I/O addresses are the port numbers
  // A system-space address does not fit the 32-bit result word of a 64-bit
  // build: refused, not cut. In a 32-bit process it fits, from 2 GB up.
  const auto memory = platform::memoryMap(*session, 0x08400000, 0x1000);
  if (sizeof(void*) == 8) {
    EXPECT_EQ(memory.status(), 87u);
    EXPECT_EQ(memory.raw.information, 0u);
    EXPECT_EQ(memory.value, 0u);
  } else {
    EXPECT_EQ(memory.status(), 0u);
    EXPECT_GE(memory.value, 0x80000000u);
  }
  const auto refused = platform::memoryMap(*session, 0x08000000, 0);  // the library refuses
  EXPECT_EQ(refused.status(), 0u);
  EXPECT_EQ(refused.raw.information, 4u);
  EXPECT_EQ(refused.value, 0u);
  const auto maps = Events(*session, {Op::Map});
  ASSERT_EQ(maps.size(), 3u);
  EXPECT_TRUE(maps[0].io);
  EXPECT_EQ(maps[1].address, 0x08400000u);
  EXPECT_EQ(maps[1].value, 0x1000u);
}

}  // namespace
}  // namespace orva::test
