// The video port library's side of loading and running a miniport, checked with
// the probe miniport, which records what the library hands it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "orva_test.h"

namespace orva::test {
namespace {

using board::TraceEvent;
using platform::Session;
using platform::SessionOptions;

constexpr uint32_t kProbeEcho = 0x83010000;
constexpr uint32_t kProbeReturnFalse = 0x83010004;

SessionOptions probeOptions(bool runEntry = true) {
  SessionOptions options;
  options.driverPath = probeModulePath();
  options.runDriverEntry = runEntry;
  return options;
}

template <typename T>
T probeValue(const Session& session, const char* name) {
  T* address = symbolOf<T>(session, name);
  return address ? *address : T{};
}

TEST(PlatformLoad, EveryProbeSessionStartsFromTheModuleLoadValues) {
  Booted booted;
  for (int round = 0; round < 3; ++round) {
    Session& session = booted.boot(probeOptions());
    auto* marker = symbolOf<ULONG>(session, "PROBE_ulLoadMarker");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(*marker, 0x5EEDu) << "round " << round;
    EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulFindCalls"), 1u) << "round " << round;
    *marker = 0xBAD0 + round;
  }
}

TEST(PlatformLoad, SymbolFindsOnlyTheModulesOwnNames) {
  Booted booted;
  Session& session = booted.boot(probeOptions());
  EXPECT_NE(session.symbol("DriverEntry"), nullptr);
  EXPECT_NE(session.symbol("PROBE_ulLoadMarker"), nullptr);
  EXPECT_EQ(session.symbol("memset"), nullptr);  // a dependency's symbol
  EXPECT_EQ(session.symbol("PROBE_noSuchName"), nullptr);
}

TEST(PlatformLoad, OnlyOneSessionAtATime) {
  Booted booted;
  booted.boot(probeOptions());
  EXPECT_THROW(Session second(probeOptions()), std::logic_error);
  booted.end();
  EXPECT_NO_THROW(Session again(probeOptions()));
}

TEST(PlatformLoad, DriverEntryRunsOnceAndOnlyWhenAsked) {
  Booted booted;
  Session& session = booted.boot(probeOptions(false));
  EXPECT_FALSE(session.started());
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulFindCalls"), 0u);
  EXPECT_THROW(session.open(), std::logic_error);
  EXPECT_THROW(session.request(kProbeEcho, {}, 0), std::logic_error);
  EXPECT_EQ(session.startDriver(), 0u);
  EXPECT_THROW(session.startDriver(), std::logic_error);
}

// HwInitialize runs when the display driver opens the device, not during
// VideoPortInitialize; until then no request reaches the driver.
TEST(PlatformLoad, HwInitializeWaitsForTheOpen) {
  Session session(probeOptions());
  EXPECT_TRUE(session.found());
  EXPECT_FALSE(session.started());
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulFindCalls"), 1u);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), 0u);
  EXPECT_THROW(session.request(kProbeEcho, {}, 0), std::logic_error);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulStartCalls"), 0u);
  EXPECT_TRUE(session.open());
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), 1u);
  EXPECT_THROW(session.open(), std::logic_error);
  session.request(kProbeEcho, {}, 0);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulStartCalls"), 1u);
  // Closed, the device takes no request; opened again, HwInitialize runs again.
  session.close();
  EXPECT_FALSE(session.started());
  EXPECT_THROW(session.request(kProbeEcho, {}, 0), std::logic_error);
  EXPECT_THROW(session.close(), std::logic_error);
  EXPECT_TRUE(session.open());
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), 2u);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulFindCalls"), 1u);
}

TEST(PlatformLoad, AMissingModuleIsRefused) {
  SessionOptions options;
  options.driverPath = "/nonexistent/orva_host.so";
  EXPECT_THROW(Session session(options), std::runtime_error);
}

// The config record as Windows fills it for an adapter without an interrupt on
// the first ISA bus; the fields the miniport fills in start zero.
TEST(PlatformInitialize, DiscoveryGetsTheConfigRecordWindowsFills) {
  Booted booted;
  Session& session = booted.boot(probeOptions());
  EXPECT_TRUE(session.started());
  EXPECT_EQ(session.driverEntryStatus(), 0u);
  const auto config = probeValue<VIDEO_PORT_CONFIG_INFO>(session, "PROBE_sConfig");
  EXPECT_EQ(config.Length, sizeof(VIDEO_PORT_CONFIG_INFO));
  EXPECT_EQ(config.AdapterInterfaceType, Isa);
  EXPECT_EQ(config.SystemIoBusNumber, 0u);
  EXPECT_EQ(config.BusInterruptLevel, 0u);
  EXPECT_EQ(config.BusInterruptVector, 0u);
  EXPECT_EQ(config.InterruptMode, Latched);
  EXPECT_EQ(config.SystemMemorySize, 256ull << 20);
  EXPECT_EQ(config.NumEmulatorAccessEntries, 0u);
  EXPECT_EQ(config.EmulatorAccessEntries, nullptr);
  EXPECT_EQ(config.VdmPhysicalVideoMemoryLength, 0u);
  EXPECT_EQ(config.HardwareStateSize, 0u);
  EXPECT_EQ(config.VideoPortGetProcAddress, nullptr);
  const auto* path = symbolOf<WCHAR>(session, "PROBE_szRegistryPath");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::u16string(path),
            u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\orva\\Device0");
  EXPECT_EQ(probeValue<UCHAR>(session, "PROBE_ucAgainIn"), FALSE);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulExtensionNonZero"), 0u);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), 1u);
  // The extension the session shows is the one the driver filled, all of it.
  const auto extension = session.deviceExtension();
  ASSERT_EQ(extension.size(), 48u);
  EXPECT_EQ(extension.data(), probeValue<PVOID>(session, "PROBE_pvFirstExtension"));
  for (uint8_t byte : extension) EXPECT_EQ(byte, 0xA5);
}

struct InitCase {
  const char* name;
  ULONG initDataSize;
  ULONG adapters;
  VP_STATUS findStatus;
  BOOLEAN initializeResult;
  uint32_t entryStatus;
  unsigned findCalls;
  ULONG initializeCalls;
  bool started;
};

class PlatformInitializeTable : public ::testing::TestWithParam<InitCase> {};

TEST_P(PlatformInitializeTable, ReportsWhatTheDriverDeclared) {
  const InitCase& c = GetParam();
  Booted booted;
  Session& session = booted.boot(probeOptions(false));
  *symbolOf<ULONG>(session, "PROBE_ulInitDataSize") = c.initDataSize;
  *symbolOf<ULONG>(session, "PROBE_ulAdapters") = c.adapters;
  *symbolOf<VP_STATUS>(session, "PROBE_lFindStatus") = c.findStatus;
  *symbolOf<BOOLEAN>(session, "PROBE_ucInitializeResult") = c.initializeResult;
  EXPECT_EQ(session.startDriver(), c.entryStatus);
  EXPECT_EQ(session.findAdapterCalls(), c.findCalls);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulFindCalls"), c.findCalls);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), 0u);
  EXPECT_EQ(session.open(), c.started);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInitializeCalls"), c.initializeCalls);
  EXPECT_EQ(session.started(), c.started);
}

constexpr ULONG kNt4 = SIZE_OF_NT4_VIDEO_HW_INITIALIZATION_DATA;
constexpr ULONG kW2k = SIZE_OF_W2K_VIDEO_HW_INITIALIZATION_DATA;
constexpr ULONG kWxp = SIZE_OF_WXP_VIDEO_HW_INITIALIZATION_DATA;
constexpr uint32_t kRevisionMismatch = 0xC0000059;

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformInitializeTable,
    ::testing::Values(
        InitCase{"XpRecord", kWxp, 1, 0, TRUE, 0, 1, 1, true},
        InitCase{"Windows2000Record", kW2k, 1, 0, TRUE, 0, 1, 1, true},
        InitCase{"Nt4Record", kNt4, 1, 0, TRUE, 0, 1, 1, true},
        InitCase{"ShorterThanNt4", kNt4 - 4, 1, 0, TRUE, kRevisionMismatch, 0, 0, false},
        InitCase{"BetweenNt4And2000", kNt4 + 8, 1, 0, TRUE, kRevisionMismatch, 0, 0, false},
        InitCase{"LongerThanXp", kWxp + 4, 1, 0, TRUE, kRevisionMismatch, 0, 0, false},
        InitCase{"Zero", 0, 1, 0, TRUE, kRevisionMismatch, 0, 0, false},
        InitCase{"FindAdapterFailsWithAnNtStatus", kWxp, 1, 87, TRUE, 0xC000000D, 1, 0, false},
        InitCase{"NoDevice", kWxp, 1, 55, TRUE, 0xC00000C0, 1, 0, false},
        InitCase{"AFailureEndsTheSearch", kWxp, 3, 87, TRUE, 0xC000000D, 1, 0, false},
        InitCase{"InitializeFails", kWxp, 1, 0, FALSE, 0, 1, 1, false},
        InitCase{"AgainAsksForMoreAdapters", kWxp, 3, 0, TRUE, 0, 3, 3, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct BufferCase {
  uint32_t input;
  uint32_t output;
};

class PlatformRequestBuffer : public ::testing::TestWithParam<BufferCase> {};

// The probe reverses the input in place in the output buffer and reports the
// whole output: that only gives the reversed input when both are one buffer of
// max(input, output) bytes, and past the input that buffer is not zeroed.
TEST_P(PlatformRequestBuffer, InputAndOutputAreOneBuffer) {
  const BufferCase& c = GetParam();
  Booted booted;
  Session& session = booted.boot(probeOptions());
  std::vector<uint8_t> input(c.input);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(0x10 + i);
  session.trace().clear();

  const platform::RequestResult result = session.request(kProbeEcho, input, c.output);
  EXPECT_EQ(result.status, 0u);
  EXPECT_EQ(result.ntStatus, 0u);
  EXPECT_EQ(result.information, c.output);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulSameBuffer"), 1u);
  EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulInformationIn"), 0u);
  ASSERT_EQ(result.output.size(), c.output);
  std::vector<uint8_t> expected(std::max(c.input, c.output), 0xCD);
  std::copy(input.rbegin(), input.rend(), expected.begin());
  expected.resize(c.output);
  EXPECT_EQ(result.output, expected);

  const auto& events = session.trace().events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].op, TraceEvent::Op::Request);
  EXPECT_EQ(events[0].value, kProbeEcho);
  EXPECT_EQ(events[0].bytes, input);
  EXPECT_EQ(events[0].extra, c.output);
  EXPECT_EQ(events[1].op, TraceEvent::Op::Done);
  EXPECT_EQ(events[1].extra, 0u);
  EXPECT_EQ(events[1].extra2, c.output);
  EXPECT_EQ(events[1].bytes, expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PlatformRequestBuffer,
                         ::testing::Values(BufferCase{8, 8}, BufferCase{6, 16}, BufferCase{16, 6},
                                           BufferCase{0, 4}, BufferCase{5, 0}),
                         [](const auto& info) {
                           return "in" + std::to_string(info.param.input) + "out" +
                                  std::to_string(info.param.output);
                         });

TEST(PlatformRequest, DoneShowsOnlyTheBytesReturned) {
  Booted booted;
  Session& session = booted.boot(probeOptions());
  session.trace().clear();
  // An unknown code: status 1 and Information left at the library's 0.
  const auto result = session.request(0x83010008, std::vector<uint8_t>{1, 2, 3}, 8);
  EXPECT_EQ(result.status, 1u);
  EXPECT_EQ(result.ntStatus, 0xC0000002u);
  EXPECT_EQ(result.information, 0u);
  const auto done = eventsOf(session.trace(), TraceEvent::Op::Done);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_TRUE(done[0].bytes.empty());
}

// The output check alone, as the fuzzer runs it.
SessionOptions verifiedOptions() {
  SessionOptions options = probeOptions();
  options.verify = true;
  options.verifyChecks = platform::kVerifyOutput;
  return options;
}

// The probe copies the input into the output, as much as fits; using the last
// byte of the buffer is fine.
TEST(PlatformCompletion, TheBufferIsExactlyMaxOfInputAndOutput) {
  Booted booted;
  Session& session = booted.boot(verifiedOptions());
  const std::vector<uint8_t> input{1, 2, 3, 4, 5, 6};
  for (uint32_t output : {4u, 6u, 9u}) {
    SCOPED_TRACE(output);
    const auto result = session.request(0x83010010, input, output);
    EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulSameBuffer"), 1u);
    EXPECT_EQ(result.status, 0u);
    const size_t copied = std::min<size_t>(input.size(), output);
    EXPECT_EQ(result.information, copied);
    std::vector<uint8_t> expected(output, 0);  // the caller's buffer past Information
    std::copy_n(input.begin(), copied, expected.begin());
    EXPECT_EQ(result.output, expected);
  }
  // Reversing in place touches the first and the last byte of the buffer.
  const auto echo = session.request(kProbeEcho, input, 6);
  EXPECT_EQ(echo.output, std::vector<uint8_t>(input.rbegin(), input.rend()));
  EXPECT_TRUE(session.notices().empty());

  // Under the address sanitizer an odd length still starts the buffer where pool
  // memory would (8-byte aligned; the slack is poisoned). Without it the buffer
  // ends exactly at the guard page, wherever that puts its start.
  for (uint32_t length : {1u, 3u, 7u, 13u, 1053u}) {
    SCOPED_TRACE(length);
    session.request(kProbeEcho, std::vector<uint8_t>(length, 9), length);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulBufferMisalignment"), 0u);
#else
    EXPECT_EQ(probeValue<ULONG>(session, "PROBE_ulBufferMisalignment"), (8 - length % 8) % 8);
#endif
  }
}

struct CompletionCase {
  const char* name;
  uint32_t code;
  std::vector<uint8_t> input;
  uint32_t output;
  uint32_t ntStatus;
  std::vector<uint8_t> returned;  // the caller's output buffer afterwards
  const char* notice;             // the verifier's notice; empty: none
};

class PlatformCompletionTable : public ::testing::TestWithParam<CompletionCase> {};

// What reaches the caller follows the NT status the library makes of the
// miniport's status, and Information, never the bytes the miniport touched.
TEST_P(PlatformCompletionTable, OnlyReportedBytesOfANonErrorStatusComeBack) {
  const CompletionCase& c = GetParam();
  Booted booted;
  Session& session = booted.boot(verifiedOptions());
  session.trace().clear();
  const auto result = session.request(c.code, c.input, c.output);
  EXPECT_EQ(result.ntStatus, c.ntStatus);
  EXPECT_EQ(result.output, c.returned);
  const auto done = eventsOf(session.trace(), TraceEvent::Op::Done);
  ASSERT_EQ(done.size(), 1u);
  const size_t shown = (c.ntStatus >> 30) == 3 ? 0 : static_cast<size_t>(result.information);
  EXPECT_EQ(done[0].bytes, std::vector<uint8_t>(c.returned.begin(), c.returned.begin() + shown));
  if (*c.notice == '\0') {
    EXPECT_TRUE(session.notices().empty());
  } else {
    ASSERT_EQ(session.notices().size(), 1u);
    EXPECT_EQ(session.notices()[0].kind, "unreported-output");
    EXPECT_THAT(session.notices()[0].message, ::testing::HasSubstr(c.notice));
  }
}

constexpr uint32_t kFillWithStatus = 0x8301002C;
constexpr uint32_t kWriteUnreported = 0x83010020;
constexpr uint32_t kWriteOneUnreported = 0x83010024;
constexpr uint32_t kWritePastOutput = 0x83010014;

std::vector<uint8_t> bytes(size_t count, uint8_t value) {
  return std::vector<uint8_t>(count, value);
}

std::vector<uint8_t> allButLast(size_t count, uint8_t value) {
  std::vector<uint8_t> out(count, value);
  out.back() = 0;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformCompletionTable,
    ::testing::Values(
        CompletionCase{"Success", kFillWithStatus, {0}, 5, 0, bytes(5, 0x22), ""},
        CompletionCase{"MoreDataIsAWarningAndStillCopies",
                       kFillWithStatus,
                       {234},
                       5,
                       0x80000005,
                       bytes(5, 0x22),
                       ""},
        CompletionCase{
            "InvalidParameterCopiesNothing", kFillWithStatus, {87}, 5, 0xC000000D, bytes(5, 0), ""},
        CompletionCase{
            "InsufficientBuffer", kFillWithStatus, {122}, 5, 0xC0000023, bytes(5, 0), ""},
        CompletionCase{"NotEnoughMemory", kFillWithStatus, {8}, 5, 0xC000009A, bytes(5, 0), ""},
        CompletionCase{"DeviceDoesNotExist", kFillWithStatus, {55}, 5, 0xC00000C0, bytes(5, 0), ""},
        CompletionCase{
            "UnknownStatusIsAnError", kFillWithStatus, {200}, 5, 0xC0000001, bytes(5, 0), ""},
        CompletionCase{"AnUnreadOutputByteIsNotCopiedBack",
                       kWriteOneUnreported,
                       {1, 2, 3},
                       7,
                       0,
                       allButLast(7, 0x11),
                       "byte 6 written beyond the 6 bytes"},
        CompletionCase{"UnreportedOutputStaysWithTheLibrary",
                       kWriteUnreported,
                       {},
                       7,
                       0,
                       bytes(7, 0),
                       "byte 0 written beyond the 0 bytes"},
        CompletionCase{"WriteIntoTheInputPastAnEmptyOutput",
                       kWritePastOutput,
                       bytes(8, 0x42),
                       0,
                       0,
                       {},
                       "byte 0 written beyond"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformCompletion, WithoutTheVerifierNothingIsNoticed) {
  Booted booted;
  Session& session = booted.boot(probeOptions());
  const auto result = session.request(kWriteOneUnreported, {}, 7);
  EXPECT_EQ(result.output, allButLast(7, 0x11));
  EXPECT_TRUE(session.notices().empty());
}

struct FaultCase {
  const char* name;
  uint32_t code;
  uint32_t input;
  uint32_t output;
  const char* message;  // what the platform says; empty: the access itself faults
};

class PlatformCompletionDeathTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PlatformCompletionDeathTest, ADriverFaultEndsTheProcess) {
  const FaultCase& c = GetParam();
  Booted booted;
  Session& session = booted.boot(probeOptions());
  const std::vector<uint8_t> input(c.input, 0x42);
  EXPECT_DEATH(session.request(c.code, input, c.output), c.message);
}

// The buffer's last byte is max(input, output) - 1: one past it is the guard
// page whichever of the two is longer.
INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformCompletionDeathTest,
    ::testing::Values(FaultCase{"WritePastOutput", kWritePastOutput, 8, 13, ""},
                      FaultCase{"ReadPastInput", 0x83010018, 64, 5, ""},
                      FaultCase{"NoStatus", 0x8301001C, 0, 0, "no status stored"},
                      FaultCase{"ReturnsFalse", kProbeReturnFalse, 0, 0, "returned 0"},
                      FaultCase{"ReportsMoreThanTheOutputHolds", 0x83010028, 0, 4,
                                "5 bytes reported"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformMappingFailures, NamedDeviceBasesFail) {
  Booted booted;
  SessionOptions options = probeOptions();
  options.failMappings = {0x3C0, 0x08400000};
  Session& session = booted.boot(options);
  PVOID extension = const_cast<uint8_t*>(session.deviceExtension().data());
  PHYSICAL_ADDRESS at;
  at.QuadPart = 0x3C0;
  EXPECT_EQ(VideoPortGetDeviceBase(extension, at, 2, 1), nullptr);
  at.QuadPart = 0x3C2;
  EXPECT_NE(VideoPortGetDeviceBase(extension, at, 1, 1), nullptr);
  at.QuadPart = 0x08400000;
  EXPECT_EQ(VideoPortGetDeviceBase(extension, at, 0x1000, 0), nullptr);
  at.QuadPart = 0x08400000 + 0x1000;
  EXPECT_NE(VideoPortGetDeviceBase(extension, at, 0x1000, 0), nullptr);
  // Every attempt is traced; the failed ones say so.
  const auto maps = eventsOf(session.trace(), TraceEvent::Op::Map);
  ASSERT_EQ(maps.size(), 4u);
  const bool failed[] = {true, false, true, false};
  for (size_t i = 0; i < maps.size(); ++i) EXPECT_EQ(maps[i].failed, failed[i]) << i;
  EXPECT_EQ(board::Trace::toJson(maps[0]),
            R"({"op":"map","space":"io","phys":960,"length":2,"failed":true,"time_ns":0})");
  EXPECT_EQ(board::Trace::toJson(maps[1]),
            R"({"op":"map","space":"io","phys":962,"length":1,"time_ns":0})");
}

}  // namespace
}  // namespace orva::test
