// The video port library with the real driver: every session loads a fresh
// image, discovery's mappings are usable, and the typed client's requests reach
// the driver and come back decoded.
#include <gtest/gtest.h>

#include "orva_test.h"
#include "reghost/reghost.h"

namespace orva::test {
namespace {

using board::TraceEvent;
using platform::BootOptions;
using platform::Session;

class PlatformDriverFresh : public ::testing::TestWithParam<const char*> {};

// A module variable changed in one session is back at its load value in the next.
TEST_P(PlatformDriverFresh, ModuleVariablesStartAtTheirLoadValues) {
  Booted booted;
  BootOptions options;
  options.runDriverEntry = false;
  Session& first = booted.boot(options);
  auto* variable = symbolOf<ULONG>(first, GetParam());
  ASSERT_NE(variable, nullptr);
  const ULONG loadValue = *variable;
  *variable = loadValue ^ 0x5A5A5A5A;

  Session& second = booted.boot(options);
  auto* again = symbolOf<ULONG>(second, GetParam());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(*again, loadValue);
}

INSTANTIATE_TEST_SUITE_P(Variables, PlatformDriverFresh,
                         ::testing::Values("ulRequiredOutput", "HWGENERIC_ulHardwareID",
                                           "ulStartFBFree"));

TEST(PlatformDriver, DiscoveryMappingsAreUsable) {
  Booted booted;
  BootOptions options;
  options.memoryBytes = 2u << 20;
  Session& session = booted.boot(options);
  ASSERT_TRUE(session.started());
  auto* table = symbolOf<REGHOST_RESOURCE>(session, "REGHOST_ChipsetResources");
  ASSERT_NE(table, nullptr);
  for (ULONG row = 0; table[row].ulFlags != REGHOST_END; ++row) {
    SCOPED_TRACE(row);
    if (table[row].ulFlags & REGHOST_IO) {
      EXPECT_EQ(table[row].ulVirtual, table[row].ulPhysical);
    } else {
      // System space: from 2 GB up in a 32-bit process, above 4 GB in a 64-bit one.
      const uint64_t address = table[row].ulVirtual;
      EXPECT_GE(address & 0xFFFFFFFFu, 0x80000000u);
      EXPECT_EQ(address >> 32 != 0, sizeof(void*) == 8);
    }
  }
  // The request handlers' view and the cursor module's view are one memory.
  auto* high = reinterpret_cast<uint8_t*>(table[REGHOST_ROW_FRAMEBUFFER].ulVirtual);
  auto* low = reinterpret_cast<uint8_t*>(table[REGHOST_ROW_FRAMEBUFFER_LOW].ulVirtual);
  high[0x100] = 0x42;
  EXPECT_EQ(low[0x100], 0x42);
  EXPECT_EQ(session.board().vram()[0x100], 0x42);
}

TEST(PlatformDriver, RequestsRoundTripThroughTheClient) {
  Booted booted;
  Session& session = booted.boot(BootOptions{});
  session.trace().clear();

  const auto count = platform::queryNumModes(session);
  ASSERT_TRUE(count.ok());
  EXPECT_EQ(count.value.ModeInformationLength, sizeof(VIDEO_MODE_INFORMATION));
  const auto modes = platform::queryModes(session);
  ASSERT_TRUE(modes.ok());
  ASSERT_EQ(modes.value.size(), count.value.NumModes);
  for (const auto& mode : modes.value) EXPECT_EQ(mode.Length, sizeof(VIDEO_MODE_INFORMATION));
  ASSERT_TRUE(platform::findMode(modes.value, 640, 480, 16, 75).has_value());

  // Every request entered and left the driver in the trace, in pairs.
  const auto& events = session.trace().events();
  unsigned requests = 0, dones = 0;
  for (const auto& event : events) {
    requests += event.op == TraceEvent::Op::Request;
    dones += event.op == TraceEvent::Op::Done;
    EXPECT_LE(dones, requests);
  }
  EXPECT_EQ(requests, 3u);
  EXPECT_EQ(dones, 3u);
}

// The frame buffer the display driver maps is discovery's mapping, handed out
// again with one more reference; the whole address reaches the caller.
TEST(PlatformDriver, FrameBufferMappingsAreBookedAcrossRequests) {
  Booted booted;
  Session& session = booted.boot(BootOptions{});
  const auto* table = symbolOf<REGHOST_RESOURCE>(session, "REGHOST_ChipsetResources");
  ASSERT_NE(table, nullptr);
  const auto mapped = platform::mapVideoMemory(session);
  ASSERT_TRUE(mapped.ok());
  const auto address = reinterpret_cast<uintptr_t>(mapped.value.FrameBufferBase);
  EXPECT_EQ(address, table[REGHOST_ROW_FRAMEBUFFER].ulVirtual);
  auto references = [&] {
    for (const platform::Mapping& m : session.mappings()) {
      if (m.address == address) return m.references;
    }
    return 0u;
  };
  EXPECT_EQ(references(), 2u);
  static_cast<uint8_t*>(mapped.value.FrameBufferBase)[7] = 0x3C;
  EXPECT_EQ(session.board().vram()[7], 0x3C);

  EXPECT_EQ(platform::unmapVideoMemory(session, mapped.value.VideoRamBase).status, 0u);
  EXPECT_EQ(references(), 1u);  // the driver's own mapping stays
  EXPECT_TRUE(session.userMappings().empty());
}

}  // namespace
}  // namespace orva::test
