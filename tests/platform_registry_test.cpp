// Registry reads and writes as the video port library performs them: the
// callback runs once, only for a value that exists, with the byte length of the
// data (a string's terminating zero counted); names compare without case.
#include <gtest/gtest.h>

#include <string>

#include "orva_test.h"

namespace orva::test {
namespace {

using board::TraceEvent;
using platform::Session;
using platform::SessionOptions;

struct CallbackLog {
  int calls = 0;
  std::vector<uint8_t> data;
  ULONG length = 0;
  PVOID extension = nullptr;
};

VP_STATUS NTAPI recordValue(PVOID extension, PVOID context, PWSTR, PVOID data, ULONG length) {
  auto* log = static_cast<CallbackLog*>(context);
  ++log->calls;
  log->extension = extension;
  log->length = length;
  const auto* bytes = static_cast<const uint8_t*>(data);
  log->data.assign(bytes, bytes + length);
  return 0;
}

Session& bootProbe(Booted& booted, std::optional<std::vector<uint8_t>> outputType) {
  SessionOptions options;
  options.driverPath = probeModulePath();
  options.outputType = std::move(outputType);
  return booted.boot(options);
}

PVOID extensionOf(Session& session) {
  return const_cast<uint8_t*>(session.deviceExtension().data());
}

TEST(PlatformRegistry, RegistryStringsAreUtf16WithTheTerminatorCounted) {
  EXPECT_EQ(platform::registryString("TVPAL"),
            (std::vector<uint8_t>{'T', 0, 'V', 0, 'P', 0, 'A', 0, 'L', 0, 0, 0}));
  EXPECT_EQ(platform::registryString(""), (std::vector<uint8_t>{0, 0}));
  // Text beyond ASCII is encoded, not truncated per byte.
  EXPECT_EQ(platform::registryString("\xC3\xA9"), (std::vector<uint8_t>{0xE9, 0, 0, 0}));
}

struct LookupCase {
  const char* name;
  std::optional<std::string> stored;
  const char16_t* asked;
  int calls;
  ULONG length;
};

class PlatformRegistryLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(PlatformRegistryLookup, CallbackOnceOnlyForAnExistingValue) {
  const LookupCase& c = GetParam();
  Booted booted;
  std::optional<std::vector<uint8_t>> stored;
  if (c.stored) stored = platform::registryString(*c.stored);
  Session& session = bootProbe(booted, stored);
  session.trace().clear();

  CallbackLog log;
  const VP_STATUS status = VideoPortGetRegistryParameters(
      extensionOf(session), const_cast<PWSTR>(c.asked), FALSE, recordValue, &log);
  EXPECT_EQ(log.calls, c.calls);
  EXPECT_EQ(status == 0, c.calls == 1);
  if (c.calls == 1) {
    EXPECT_EQ(log.length, c.length);
    EXPECT_EQ(log.data, *stored);
    EXPECT_EQ(log.extension, extensionOf(session));
  }
  const auto gets = eventsOf(session.trace(), TraceEvent::Op::RegistryGet);
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(gets[0].found, c.calls == 1);
  EXPECT_EQ(gets[0].text, c.calls == 1 ? *c.stored : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformRegistryLookup,
    ::testing::Values(LookupCase{"Present", "TVPAL", u"HardwareInformation.OutputType", 1, 12},
                      LookupCase{"OtherCase", "monitor", u"HARDWAREINFORMATION.OUTPUTTYPE", 1, 16},
                      LookupCase{"EmptyString", "", u"HardwareInformation.OutputType", 1, 2},
                      LookupCase{"Absent", std::nullopt, u"HardwareInformation.OutputType", 0, 0},
                      LookupCase{"OtherName", "TVPAL", u"HardwareInformation.OutputTyp", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformRegistry, WrittenValuesAreStoredTracedAndReadBack) {
  Booted booted;
  Session& session = bootProbe(booted, std::nullopt);
  session.trace().clear();
  ULONG memory = 0x400000;
  EXPECT_EQ(VideoPortSetRegistryParameters(extensionOf(session),
                                           const_cast<PWSTR>(u"HardwareInformation.MemorySize"),
                                           &memory, sizeof memory),
            0);
  const std::vector<uint8_t> bytes{0x00, 0x00, 0x40, 0x00};
  ASSERT_EQ(session.registry().count("HardwareInformation.MemorySize"), 1u);
  EXPECT_EQ(session.registry().at("HardwareInformation.MemorySize"), bytes);

  const auto sets = eventsOf(session.trace(), TraceEvent::Op::RegistrySet);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].name, "HardwareInformation.MemorySize");
  EXPECT_EQ(sets[0].extra, 4u);
  EXPECT_EQ(sets[0].bytes, bytes);

  CallbackLog log;
  VideoPortGetRegistryParameters(extensionOf(session),
                                 const_cast<PWSTR>(u"hardwareinformation.memorysize"), FALSE,
                                 recordValue, &log);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.data, bytes);

  // A second write under another case replaces the value; it does not add one.
  memory = 0x200000;
  VideoPortSetRegistryParameters(extensionOf(session),
                                 const_cast<PWSTR>(u"HARDWAREINFORMATION.MEMORYSIZE"), &memory,
                                 sizeof memory);
  EXPECT_EQ(session.registry().size(), 1u);
  EXPECT_EQ(session.registry().begin()->second, (std::vector<uint8_t>{0x00, 0x00, 0x20, 0x00}));
}

TEST(PlatformRegistryDeathTest, AForeignDeviceExtensionIsFatal) {
  Booted booted;
  Session& session = bootProbe(booted, std::nullopt);
  (void)session;
  uint8_t foreign[48] = {};
  CallbackLog log;
  EXPECT_DEATH(
      VideoPortGetRegistryParameters(foreign, const_cast<PWSTR>(u"X"), FALSE, recordValue, &log),
      "not a device extension");
}

}  // namespace
}  // namespace orva::test

namespace orva::test {
namespace {

struct TypedCase {
  const char* name;
  uint32_t type;
  std::vector<uint8_t> data;
  const char* sameAs;  // the REG_SZ keyword the driver ends up with
  bool traced;         // the registry-get event carries the text
};

std::vector<uint8_t> multiString(std::initializer_list<const char*> strings) {
  std::vector<uint8_t> out;
  for (const char* text : strings) {
    const auto one = platform::registryString(text);
    out.insert(out.end(), one.begin(), one.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

class PlatformRegistryTypes : public ::testing::TestWithParam<TypedCase> {};

// The driver's callback gets the data as stored: the first string of a
// REG_MULTI_SZ is a keyword, a REG_EXPAND_SZ is not expanded, a REG_DWORD is
// four bytes that name no keyword.
TEST_P(PlatformRegistryTypes, TheDriverSeesTheDataAsStored) {
  const TypedCase& c = GetParam();
  Booted booted;
  platform::BootOptions reference;
  reference.output = c.sameAs;
  const ULONG expected = *Sym<ULONG>(booted.boot(reference), "ulRequiredOutput");

  platform::SessionOptions options = platform::sessionOptions({});
  options.outputType = c.data;
  options.outputTypeKind = c.type;
  Session& session = booted.boot(options);
  EXPECT_EQ(*Sym<ULONG>(session, "ulRequiredOutput"), expected);
  const auto gets = eventsOf(session.trace(), TraceEvent::Op::RegistryGet);
  ASSERT_FALSE(gets.empty());
  EXPECT_TRUE(gets[0].found);
  EXPECT_EQ(!gets[0].text.empty(), c.traced);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PlatformRegistryTypes,
    ::testing::Values(
        TypedCase{"String", platform::kRegSz, platform::registryString("TVPAL"), "TVPAL", true},
        TypedCase{"MultiStringFirstOfTwo", platform::kRegMultiSz, multiString({"TVPAL", "TVNTSC"}),
                  "TVPAL", true},
        TypedCase{"ExpandStringUnexpanded", platform::kRegExpandSz,
                  platform::registryString("%ORVA%"), "MONITOR", true},
        TypedCase{"DwordNamesNoKeyword", platform::kRegDword, {1, 0, 0, 0}, "MONITOR", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva::test
