// The verifier: what Windows forbids a miniport but does not always catch is
// reported as notices that name the call site, and nothing else changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orva_test.h"

namespace orva::test {
namespace {

using platform::Session;
using platform::SessionOptions;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;

SessionOptions probeOptions(bool verify) {
  SessionOptions options;
  options.driverPath = probeModulePath();
  options.verify = verify;
  return options;
}

PVOID extensionOf(Session& session) {
  return const_cast<uint8_t*>(session.deviceExtension().data());
}

struct StallCase {
  ULONG microseconds;
  size_t notices;
};

class VerifierStall : public ::testing::TestWithParam<StallCase> {};

// KeStallExecutionProcessor's guidance, which the video port function wraps: at
// most 50 microseconds a call. A longer stall still happens on the board.
TEST_P(VerifierStall, AStallOverTheLimitIsANotice) {
  Booted booted;
  Session& session = booted.boot(probeOptions(true));
  session.trace().clear();
  VideoPortStallExecution(GetParam().microseconds);
  EXPECT_EQ(Stalls(session), std::vector<uint64_t>{GetParam().microseconds});
  const auto notices = NoticesOf(session, "long-stall");
  ASSERT_EQ(notices.size(), GetParam().notices);
  if (!notices.empty()) {
    EXPECT_THAT(notices[0].site, HasSubstr("orva_tests+0x"));
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, VerifierStall,
                         ::testing::Values(StallCase{1, 0}, StallCase{50, 0}, StallCase{51, 1},
                                           StallCase{15000, 1}));

TEST(Verifier, ADeviceBaseOutsideDiscoveryIsUnclaimedAndUnreleasedUntilUnmapped) {
  Booted booted;
  Session& session = booted.boot(probeOptions(true));
  ASSERT_TRUE(session.verifierReport().empty());  // the probe maps nothing at discovery
  PHYSICAL_ADDRESS at;
  at.QuadPart = 0x3C0;
  void* base = VideoPortGetDeviceBase(extensionOf(session), at, 2, 1);
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(NoticesOf(session, "device-base-outside-discovery").size(), 1u);
  EXPECT_THAT(NoticesOf(session, "device-base-outside-discovery")[0].message,
              HasSubstr("I/O range 0x3c0, 2 bytes"));
  EXPECT_EQ(NoticesOf(session, "unclaimed-range").size(), 1u);
  auto unreleased = [&] {
    size_t count = 0;
    for (const auto& notice : session.verifierReport())
      count += notice.kind == "unreleased-mapping";
    return count;
  };
  EXPECT_EQ(unreleased(), 1u);
  ASSERT_EQ(VideoPortUnmapMemory(extensionOf(session), base, nullptr), 0);
  EXPECT_EQ(unreleased(), 0u);
}

TEST(Verifier, OffItRecordsNothing) {
  Booted booted;
  Session& session = booted.boot(probeOptions(false));
  PHYSICAL_ADDRESS at;
  at.QuadPart = 0x3C0;
  ASSERT_NE(VideoPortGetDeviceBase(extensionOf(session), at, 2, 1), nullptr);
  VideoPortStallExecution(100);
  EXPECT_TRUE(session.verifierReport().empty());
}

struct CheckCase {
  unsigned check;
  const char* kind;
};

class VerifierChecks : public ::testing::TestWithParam<CheckCase> {};

// One check chosen: a device base mapped outside discovery and a long stall
// give that check's notices and no others.
TEST_P(VerifierChecks, OnlyTheChosenCheckReports) {
  SessionOptions options = probeOptions(true);
  options.verifyChecks = GetParam().check;
  Booted booted;
  Session& session = booted.boot(options);
  PHYSICAL_ADDRESS at;
  at.QuadPart = 0x3C0;
  ASSERT_NE(VideoPortGetDeviceBase(extensionOf(session), at, 2, 1), nullptr);
  VideoPortStallExecution(100);
  std::vector<std::string> kinds;
  for (const auto& notice : session.verifierReport()) kinds.push_back(notice.kind);
  EXPECT_EQ(kinds, std::vector<std::string>{GetParam().kind});
}

INSTANTIATE_TEST_SUITE_P(
    Each, VerifierChecks,
    ::testing::Values(CheckCase{platform::kVerifyDeviceBases, "device-base-outside-discovery"},
                      CheckCase{platform::kVerifyClaims, "unclaimed-range"},
                      CheckCase{platform::kVerifyStalls, "long-stall"},
                      CheckCase{platform::kVerifyMappings, "unreleased-mapping"}));

// The driver's private map requests map from HwStartIO: a finding kept, named
// by the driver's own function (its mapping layer's, where the compiler kept
// that one apart).
TEST(Verifier, ThePrivateMapRequestsMapOutsideDiscovery) {
  SessionOptions options = platform::sessionOptions({});
  options.verify = true;
  Booted booted;
  Session& session = booted.boot(options);
  EXPECT_TRUE(NoticesOf(session, "device-base-outside-discovery").empty());
  EXPECT_FALSE(NoticesOf(session, "unclaimed-range").empty());  // discovery claims nothing
  ASSERT_EQ(platform::ioMap(session, 0x3C0, 0x20).status(), 0u);
  const auto outside = NoticesOf(session, "device-base-outside-discovery");
  ASSERT_EQ(outside.size(), 1u);
  EXPECT_THAT(outside[0].site, ContainsRegex("\\((DRIVER|OSAL)_IOMap[(+]"));
}

}  // namespace
}  // namespace orva::test
