// A board without display memory: both frame-buffer views are left unmapped
// (an access through them would fault), no mode is offered, and no request,
// whatever its buffers, maps, clears or draws into the frame buffer or reports
// success for a request that needs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "board.h"
#include "miniport/miniport.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "orva_test.h"
#include "reghost/reghost.h"

namespace orva::hardening_test {
namespace {

using board::Variant;
using platform::Session;

// Codes the driver does not serve, tried beside every one it does.
constexpr uint32_t kUnservedCodes[] = {0x00000000, 0x230414, 0x830020E8, 0xFFFFFFFF};

// Requests that need the frame buffer: none of them may succeed without one.
constexpr uint32_t kNeedFrameBuffer[] = {
    IOCTL_VIDEO_SET_CURRENT_MODE,   IOCTL_VIDEO_SET_POINTER_ATTR,
    IOCTL_VIDEO_MAP_VIDEO_MEMORY,   IOCTL_VIDEO_UNMAP_VIDEO_MEMORY,
    IOCTL_VIDEO_SHARE_VIDEO_MEMORY, IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY,
};

// Buffer lengths around every record size the requests use (4, 8, 12, 16, 20, 24
// on this host, 80, the 1052-byte pointer shape, a palette of 256 entries).
constexpr uint32_t kLengths[] = {0, 3, 4, 8, 12, 16, 20, 24, 79, 80, 1028, 1052, 4096};

// Input of a request: every byte `fill`, except that the raw port requests aim
// at the DAC pixel mask, a port the board decodes and that changes no picture
// the test looks at.
std::vector<uint8_t> inputOf(uint32_t code, uint32_t length, uint8_t fill) {
  std::vector<uint8_t> input(length, fill);
  if (code >= IOCTL_DRIVER_READ_PORT_UCHAR && code <= IOCTL_DRIVER_WRITE_PORT_ULONG &&
      length != 0) {
    const DRIVER_PORT_REQUEST port{0x3C6, 0, 0xFF};
    std::memcpy(input.data(), &port, std::min<size_t>(length, sizeof port));
  }
  return input;
}

platform::SessionOptions emptyBoard(Variant variant) {
  platform::SessionOptions options;
  options.board.variant = variant;
  options.board.memoryBytes = 0;
  options.outputType = platform::registryString("MONITOR");
  options.verify = true;
  return options;
}

TEST(EmptyFrameBuffer, StartsWithNoModeAndBothViewsUnmapped) {
  for (Variant variant : board::kAllVariants) {
    SCOPED_TRACE(std::string(board::variantName(variant)));
    Session session(emptyBoard(variant));
    ASSERT_TRUE(session.open());
    const auto* rows = test::symbolOf<REGHOST_RESOURCE>(session, "REGHOST_ChipsetResources");
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(rows[REGHOST_ROW_FRAMEBUFFER].ulVirtual, 0u);
    EXPECT_EQ(rows[REGHOST_ROW_FRAMEBUFFER_LOW].ulVirtual, 0u);
    EXPECT_EQ(platform::queryNumModes(session).value.NumModes, 0u);
  }
}

// Every request code with every pair of buffer lengths, on a chip whose output
// devices sit behind ports (Bramble) and one with memory windows (Kestrel).
TEST(EmptyFrameBuffer, NoRequestReachesIt) {
  for (Variant variant : {Variant::Bramble, Variant::Kestrel}) {
    SCOPED_TRACE(std::string(board::variantName(variant)));
    Session session(emptyBoard(variant));
    ASSERT_TRUE(session.open());
    session.trace().setRecording(false);

    std::vector<uint32_t> codes(std::begin(platform::kServedCodes),
                                std::end(platform::kServedCodes));
    codes.insert(codes.end(), std::begin(kUnservedCodes), std::end(kUnservedCodes));
    for (uint32_t code : codes) {
      const bool needsFrameBuffer =
          std::find(std::begin(kNeedFrameBuffer), std::end(kNeedFrameBuffer), code) !=
          std::end(kNeedFrameBuffer);
      for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        for (uint32_t in : kLengths) {
          for (uint32_t out : kLengths) {
            const platform::RequestResult r = session.request(code, inputOf(code, in, fill), out);
            if (needsFrameBuffer) {
              ASSERT_NE(r.status, 0u) << std::hex << "code 0x" << code << std::dec << " in " << in
                                      << " out " << out << " fill " << int{fill};
            }
            if (r.status == 0) {
              ASSERT_LE(r.information, out);
            }
          }
        }
      }
    }

    // Nothing mapped, cleared or drawn, and the driver still describes no mode.
    EXPECT_TRUE(session.userMappings().empty());
    EXPECT_EQ(session.board().frameBufferFaults(), 0u);
    HW_DEVICE_EXTENSION extension{};
    std::memcpy(&extension, session.deviceExtension().data(), sizeof extension);
    EXPECT_EQ(extension.ulCurrentWidth, 0u);
    EXPECT_EQ(extension.ulCurrentBpp, 0u);
    EXPECT_EQ(extension.ulPointerShapeOffset, 0u);
    EXPECT_EQ(platform::queryFrameBufferFree(session).value, 0u);
    EXPECT_EQ(session.trace().counters().undecoded, 0u);
    EXPECT_TRUE(test::NoticesOf(session, "unreported-output").empty());
  }
}

}  // namespace
}  // namespace orva::hardening_test
