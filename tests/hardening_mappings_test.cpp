// Ranges the video port library refuses to map during discovery. A row left at
// 0 would make every access through it reach port 0 or address 0, so a range the
// driver uses on the chip must stop the adapter before any register is touched,
// while the legacy rows no module uses must not.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <string>
#include <vector>

#include "board.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "orva_test.h"
#include "reghost/reghost.h"

namespace orva::hardening_test {
namespace {

using board::TraceEvent;
using board::Variant;
using platform::Session;

// Rows some module reaches on every chip: the VGA, DAC, sequencer, chipset,
// graphics-controller, CRTC, clock-selection and PCI ports, the engine registers
// and (with display memory) both frame-buffer views.
constexpr int kEveryChip[] = {13, 14, 15, 16, 17, 18, 19, 21, 23, 24,
                              25, 26, 27, 28, 29, 32, 33, 42, 43};

// Rows of the output devices, on the chips that reach them: the TFT ports on
// Mistral, the TFT window on Kestrel, the TV encoder window on Bramble-L, -R, -RX.
bool neededOnChip(int row, Variant variant) {
  switch (row) {
    case 31:
      return variant == Variant::Mistral;
    case 36:
      return variant == Variant::Kestrel;
    case 40:
      return variant == Variant::BrambleL || variant == Variant::BrambleR ||
             variant == Variant::BrambleRX;
    default:
      return std::find(std::begin(kEveryChip), std::end(kEveryChip), row) != std::end(kEveryChip);
  }
}

platform::SessionOptions boardOf(Variant variant) {
  platform::SessionOptions options;
  options.board.variant = variant;
  options.board.memoryBytes = 2u << 20;
  return options;
}

// Where each row is mapped on an undisturbed boot of this variant.
std::vector<REGHOST_RESOURCE> rowsOf(Variant variant) {
  Session session(boardOf(variant));
  const auto* rows = test::symbolOf<REGHOST_RESOURCE>(session, "REGHOST_ChipsetResources");
  return rows ? std::vector<REGHOST_RESOURCE>(rows, rows + REGHOST_ROW_COUNT)
              : std::vector<REGHOST_RESOURCE>{};
}

// Whether this platform fails the mappings a session names (row 0, the
// diagnostic port, is mapped and never used).
bool platformFailsMappings() {
  platform::SessionOptions options = boardOf(Variant::Bramble);
  options.failMappings = {0x80};
  Session session(options);
  const auto* rows = session.driverSymbol<REGHOST_RESOURCE>("REGHOST_ChipsetResources");
  return rows != nullptr && rows[0].ulVirtual == 0;
}

TEST(FailedMapping, UsedRangesStopDiscoveryBeforeAnyAccessLegacyOnesDoNot) {
  if (!platformFailsMappings()) GTEST_SKIP() << "this platform does not fail mappings on request";
  for (Variant variant : board::kAllVariants) {
    const std::vector<REGHOST_RESOURCE> rows = rowsOf(variant);
    ASSERT_EQ(rows.size(), size_t{REGHOST_ROW_COUNT});
    uint32_t modesWhole = 0;
    {
      Session whole(boardOf(variant));
      whole.open();
      modesWhole = platform::queryNumModes(whole).value.NumModes;
    }
    for (int row = 0; row < int{REGHOST_ROW_COUNT}; ++row) {
      const uint64_t physical = rows[row].ulPhysical;
      SCOPED_TRACE(std::string(board::variantName(variant)) + " row " + std::to_string(row));
      // Rows that share the address fail together (0x370 is rows 12 and 29).
      bool needed = false;
      for (int other = 0; other < int{REGHOST_ROW_COUNT}; ++other) {
        needed |= rows[other].ulPhysical == physical && neededOnChip(other, variant);
      }

      platform::SessionOptions options = boardOf(variant);
      options.failMappings = {physical};
      Session session(options);
      session.open();
      for (const TraceEvent& e : session.trace().events()) {
        if (e.op == TraceEvent::Op::In || e.op == TraceEvent::Op::Out) {
          ASSERT_GE(e.address, 0x20u) << "port access through an unmapped row";
        }
      }
      EXPECT_EQ(session.board().frameBufferFaults(), 0u);

      if (needed) {
        EXPECT_FALSE(session.started());
        EXPECT_EQ(session.driverEntryStatus(), 0xC000000Du);  // STATUS_INVALID_PARAMETER
        EXPECT_EQ(session.findAdapterCalls(), 1u) << "a failed adapter is not looked for again";
        EXPECT_TRUE(session.registry().empty()) << "nothing published for a refused adapter";
        continue;
      }
      ASSERT_TRUE(session.started());
      const auto modes = platform::queryModes(session);
      ASSERT_EQ(modes.value.size(), modesWhole);
      if (!modes.value.empty()) {
        EXPECT_EQ(platform::setMode(session, modes.value.front().ModeIndex).status, 0u);
      }
      EXPECT_EQ(session.trace().counters().undecoded, 0u);
    }
  }
}

}  // namespace
}  // namespace orva::hardening_test
