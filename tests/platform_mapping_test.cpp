// Mappings as the video port library hands them out: I/O ranges are port
// numbers; system-space mappings lie high and are shared with a reference count;
// mappings into a process lie low and belong to it; the two frame-buffer views
// alias the board's display memory; register windows are reachable only through
// the register functions, and never through a process's mapping.
#include <gtest/gtest.h>

#include <cstring>

#include "orva_test.h"

namespace orva::test {
namespace {

using board::TraceEvent;
using platform::Session;
using platform::SessionOptions;

constexpr uint32_t kMemory = 2u << 20;

class MappingFixture : public ::testing::Test {
 protected:
  void boot(uint8_t gbase) {
    SessionOptions options;
    options.driverPath = probeModulePath();
    options.board.memoryBytes = kMemory;
    options.board.gbase = gbase;
    booted_.boot(options);
    booted_->trace().clear();
  }

  Session& session() { return booted_.session(); }
  PVOID extension() { return const_cast<uint8_t*>(session().deviceExtension().data()); }
  uint64_t gbase() { return session().board().gbase(); }

  void* deviceBase(uint64_t physical, ULONG length, bool io = false) {
    PHYSICAL_ADDRESS address;
    address.QuadPart = static_cast<LONGLONG>(physical);
    return VideoPortGetDeviceBase(extension(), address, length, io ? 1 : 0);
  }

  VP_STATUS mapMemory(uint64_t physical, ULONG* length, PVOID* address, ULONG space = 0) {
    PHYSICAL_ADDRESS where;
    where.QuadPart = static_cast<LONGLONG>(physical);
    return VideoPortMapMemory(extension(), where, length, &space, address);
  }

  Booted booted_;
};

// Graphics base register 0x00 and 0x10: bases 0x08000000 and 0x18000000.
class PlatformMapping : public MappingFixture, public ::testing::WithParamInterface<uint8_t> {
 protected:
  void SetUp() override { boot(GetParam()); }
};

// Where Windows puts kernel addresses: from 2 GB up in a 32-bit process; above
// 4 GB in a 64-bit one, with the low half above 2 GB too so that a truncated
// address still shows.
bool inSystemSpace(const void* address) {
  const auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address));
  if (sizeof(void*) == 4) return value >= 0x80000000u;
  return (value >> 32) != 0 && (value & 0xFFFFFFFFu) >= 0x80000000u;
}

bool inUserSpace(const void* address) { return reinterpret_cast<uintptr_t>(address) < 0x80000000u; }

TEST_P(PlatformMapping, IoRangesArePortNumbers) {
  EXPECT_EQ(reinterpret_cast<uintptr_t>(deviceBase(0x3D4, 2, true)), 0x3D4u);
  VideoPortWritePortUchar(static_cast<PUCHAR>(deviceBase(0x3D4, 2, true)), 0x1F);
  const auto maps = eventsOf(session().trace(), TraceEvent::Op::Map);
  ASSERT_EQ(maps.size(), 2u);
  EXPECT_TRUE(maps[0].io);
  EXPECT_EQ(maps[0].address, 0x3D4u);
  EXPECT_EQ(maps[0].value, 2u);
  const auto outs = eventsOf(session().trace(), TraceEvent::Op::Out);
  ASSERT_EQ(outs.size(), 1u);
  EXPECT_EQ(outs[0].address, 0x3D4u);
  EXPECT_EQ(outs[0].value, 0x1Fu);
}

// in and out take the port in DX: a number past 0xFFFF reaches the bus as its
// low 16 bits, and the trace keeps the number the driver passed.
TEST_P(PlatformMapping, APortNumberReachesTheBusAsSixteenBits) {
  VideoPortWritePortUchar(reinterpret_cast<PUCHAR>(uintptr_t{0x103D4}), 0x1F);
  VideoPortReadPortUshort(reinterpret_cast<PUSHORT>(uintptr_t{0x3D4}));
  const auto& events = session().trace().events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].address, 0x3D4u);
  EXPECT_EQ(events[0].requested, 0x103D4u);
  EXPECT_FALSE(events[0].undecoded);
  EXPECT_EQ(board::Trace::toJson(events[0]),
            R"({"op":"out","width":8,"port":980,"value":31,"requested":66516,"time_ns":1000})");
  EXPECT_EQ(events[1].requested, 0u);
  EXPECT_EQ(board::Trace::toJson(events[1]).find("requested"), std::string::npos);
}

TEST_P(PlatformMapping, BothFrameBufferViewsAliasTheDisplayMemory) {
  auto* low = static_cast<uint8_t*>(deviceBase(gbase(), kMemory));
  auto* high = static_cast<uint8_t*>(deviceBase(gbase() + 0x800000, kMemory));
  ASSERT_NE(low, nullptr);
  ASSERT_NE(high, nullptr);
  EXPECT_NE(low, high);
  EXPECT_TRUE(inSystemSpace(low));
  EXPECT_TRUE(inSystemSpace(high + kMemory));

  high[0] = 0x5A;
  high[kMemory - 1] = 0xC3;
  low[0x1234] = 0x77;
  EXPECT_EQ(low[0], 0x5A);
  EXPECT_EQ(low[kMemory - 1], 0xC3);
  EXPECT_EQ(high[0x1234], 0x77);
  EXPECT_EQ(session().board().vram()[0], 0x5A);
  EXPECT_EQ(session().board().vram()[0x1234], 0x77);

  // A range that starts inside a view need not start at its base.
  auto* middle = static_cast<uint8_t*>(deviceBase(gbase() + 0x800000 + 0x1230, 0x10));
  ASSERT_NE(middle, nullptr);
  EXPECT_EQ(middle[4], 0x77);
}

TEST_P(PlatformMapping, RegisterWindowsAreReachedThroughTheRegisterFunctions) {
  auto* engine = static_cast<uint8_t*>(deviceBase(gbase() + 0x400000, 0x40000));
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(inSystemSpace(engine));
  session().trace().clear();
  VideoPortWriteRegisterUlong(reinterpret_cast<PULONG>(engine + 0x34), 0xFFFFFFFF);
  VideoPortWriteRegisterUshort(reinterpret_cast<PUSHORT>(engine + 0x04), 0x1234);
  VideoPortWriteRegisterUchar(engine + 0x08, 0x56);
  VideoPortReadRegisterUlong(reinterpret_cast<PULONG>(engine + 0x34));
  VideoPortReadRegisterUshort(reinterpret_cast<PUSHORT>(engine + 0x3FFFE));
  VideoPortReadRegisterUchar(engine + 0x3FFFF);

  struct Expected {
    TraceEvent::Op op;
    unsigned width;
    uint64_t offset;
  };
  const Expected expected[] = {
      {TraceEvent::Op::Write, 32, 0x34},   {TraceEvent::Op::Write, 16, 0x04},
      {TraceEvent::Op::Write, 8, 0x08},    {TraceEvent::Op::Read, 32, 0x34},
      {TraceEvent::Op::Read, 16, 0x3FFFE}, {TraceEvent::Op::Read, 8, 0x3FFFF},
  };
  const auto& events = session().trace().events();
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i].op, expected[i].op);
    EXPECT_EQ(events[i].width, expected[i].width);
    EXPECT_EQ(events[i].address, gbase() + 0x400000 + expected[i].offset);
  }
  EXPECT_EQ(session().board().geRegister(0x34), 0xFFFFFFFFu);
}

TEST_P(PlatformMapping, LegacyWindowsAreRegisterSpaceToo) {
  auto* window = static_cast<uint8_t*>(deviceBase(0xA0000, 0x20000));
  ASSERT_NE(window, nullptr);
  session().trace().clear();
  VideoPortReadRegisterUchar(window + 0x10);
  const auto reads = eventsOf(session().trace(), TraceEvent::Op::Read);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].address, 0xA0010u);
}

TEST_P(PlatformMapping, ImpossibleRangesFailButAreTraced) {
  EXPECT_EQ(deviceBase(gbase() + 0x800000, 0), nullptr);
  EXPECT_EQ(deviceBase(0x3C0, 0, true), nullptr);
  EXPECT_EQ(deviceBase(0x1'0000'0000ull, 0x1000), nullptr);
  EXPECT_EQ(deviceBase(0xFFFFF000, 0x2000), nullptr);
  EXPECT_EQ(deviceBase(0xFFFF, 2, true), nullptr);
  const auto maps = eventsOf(session().trace(), TraceEvent::Op::Map);
  EXPECT_EQ(maps.size(), 5u);
  for (const TraceEvent& map : maps) EXPECT_TRUE(map.failed) << "failed mapping not marked";
}

// No process given: system space, the same pool as the device bases. A range
// mapped again comes back at the same address with one more reference, and
// each unmapping drops one.
TEST_P(PlatformMapping, SystemSpaceMappingsAreSharedWithAReferenceCount) {
  const uint64_t frameBuffer = gbase() + 0x800000;
  void* base = deviceBase(frameBuffer, kMemory);
  ASSERT_NE(base, nullptr);
  ULONG length = kMemory;
  PVOID address = nullptr;
  ASSERT_EQ(mapMemory(frameBuffer, &length, &address), 0);
  EXPECT_EQ(address, base);
  EXPECT_TRUE(inSystemSpace(address));
  static_cast<uint8_t*>(address)[0x40] = 0x99;
  EXPECT_EQ(session().board().vram()[0x40], 0x99);

  auto live = session().mappings();
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].address, reinterpret_cast<uintptr_t>(address));
  EXPECT_EQ(live[0].physical, frameBuffer);
  EXPECT_EQ(live[0].length, kMemory);
  EXPECT_EQ(live[0].process, 0u);
  EXPECT_EQ(live[0].references, 2u);
  EXPECT_TRUE(session().userMappings().empty());

  // Another length is another mapping.
  length = kMemory - 0x1000;
  PVOID shorter = nullptr;
  ASSERT_EQ(mapMemory(frameBuffer, &length, &shorter), 0);
  EXPECT_NE(shorter, address);

  uint8_t notMapped = 0;
  EXPECT_EQ(VideoPortUnmapMemory(extension(), &notMapped, nullptr), 87);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 0);
  ASSERT_EQ(session().mappings().size(), 2u);
  EXPECT_EQ(static_cast<uint8_t*>(address)[0x40], 0x99);  // one reference left: still mapped
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 0);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 87);
  EXPECT_EQ(session().mappings().size(), 1u);
}

// Addresses come in request order from each area; a freed address is not
// handed out again; a guard page follows every range; and the same calls in a
// new session give the same addresses.
TEST_P(PlatformMapping, AddressesArePlacedInOrderAndNeverReused) {
  const uint64_t frameBuffer = gbase() + 0x800000;
  auto calls = [&] {
    ULONG length = 0x10000;
    PVOID first = nullptr;
    EXPECT_EQ(mapMemory(frameBuffer, &length, &first), 0);
    PVOID second = nullptr;
    EXPECT_EQ(mapMemory(frameBuffer + 0x1800, &length, &second), 0);
    EXPECT_EQ(VideoPortUnmapMemory(extension(), first, nullptr), 0);
    PVOID third = nullptr;
    EXPECT_EQ(mapMemory(frameBuffer, &length, &third), 0);
    void* engine = deviceBase(gbase() + 0x400000, 0x40000);
    PVOID user = platform::kCurrentProcess;
    EXPECT_EQ(mapMemory(frameBuffer, &length, &user), 0);
    return std::vector<uintptr_t>{
        reinterpret_cast<uintptr_t>(first), reinterpret_cast<uintptr_t>(second),
        reinterpret_cast<uintptr_t>(third), reinterpret_cast<uintptr_t>(engine),
        reinterpret_cast<uintptr_t>(user)};
  };
  const std::vector<uintptr_t> once = calls();
  const uintptr_t page = 0x1000;
  EXPECT_TRUE(inSystemSpace(reinterpret_cast<void*>(once[0])));
  EXPECT_EQ(once[1] % page, 0x800u);  // the physical page offset is kept
  EXPECT_GE(once[1], once[0] + 0x10000 + page);
  EXPECT_GE(once[2], once[1] + 0x10000 + page);
  EXPECT_GE(once[3], once[2] + 0x10000 + page);
  EXPECT_TRUE(inUserSpace(reinterpret_cast<void*>(once[4])));
  boot(GetParam());
  EXPECT_EQ(calls(), once);
}

// Once an area is used up, a mapping takes the first freed range that holds
// it, neighbours joined; when none does, the mapping fails.
TEST_P(PlatformMapping, AUsedUpAreaReusesFreedRangesFirstFit) {
  const uint64_t frameBuffer = gbase() + 0x800000;
  auto map = [&](PVOID* address) {
    ULONG length = kMemory;
    *address = platform::kCurrentProcess;
    return mapMemory(frameBuffer, &length, address);
  };
  auto unmap = [&](uintptr_t address) {
    return VideoPortUnmapMemory(extension(), reinterpret_cast<PVOID>(address),
                                platform::kCurrentProcess);
  };
  std::vector<uintptr_t> placed;
  for (PVOID address = nullptr; map(&address) == 0;) {
    ASSERT_TRUE(placed.empty() || reinterpret_cast<uintptr_t>(address) > placed.back());
    placed.push_back(reinterpret_cast<uintptr_t>(address));
  }
  ASSERT_GT(placed.size(), 200u);  // 512 MB of 2 MB views and their guard pages
  const uintptr_t step = placed[1] - placed[0];
  EXPECT_EQ(step, kMemory + 0x1000u);

  for (size_t i : {5u, 6u, 9u}) ASSERT_EQ(unmap(placed[i]), 0);
  PVOID address = nullptr;
  std::vector<uintptr_t> again;
  while (map(&address) == 0) again.push_back(reinterpret_cast<uintptr_t>(address));
  EXPECT_EQ(again, (std::vector<uintptr_t>{placed[5], placed[6], placed[9]}));
}

// A process handle in the address means a mapping into that process, low, even
// without the user-mode bit; only the owner's handle unmaps it.
TEST_P(PlatformMapping, ProcessMappingsBelongToTheirProcess) {
  const HANDLE other = session().createProcess();
  EXPECT_EQ(other, reinterpret_cast<HANDLE>(4));
  EXPECT_EQ(session().createProcess(), reinterpret_cast<HANDLE>(8));
  ULONG length = 0x1000;
  PVOID address = other;
  ASSERT_EQ(mapMemory(gbase() + 0x800000, &length, &address), 0);
  EXPECT_TRUE(inUserSpace(address));
  const auto live = session().userMappings();
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].process, reinterpret_cast<uintptr_t>(other));

  PVOID unknown = reinterpret_cast<PVOID>(0x1234);
  EXPECT_EQ(mapMemory(gbase() + 0x800000, &length, &unknown), 87);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, platform::kCurrentProcess), 87);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 87);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, reinterpret_cast<HANDLE>(0x1234)), 87);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, other), 0);
  EXPECT_TRUE(session().userMappings().empty());
}

struct SpaceCase {
  const char* name;
  ULONG space;
  bool process;  // the current process's handle in the address, else NULL
  VP_STATUS status;
  bool user;
};

class PlatformMappingSpace : public MappingFixture,
                             public ::testing::WithParamInterface<SpaceCase> {
 protected:
  void SetUp() override { boot(0x00); }
};

// InIoSpace is a set of bits: memory 0, I/O 1, user mode 2, dense 4, P6 cache 8.
TEST_P(PlatformMappingSpace, InIoSpaceIsASetOfBits) {
  const SpaceCase& c = GetParam();
  ULONG length = 0x1000;
  PVOID address = c.process ? platform::kCurrentProcess : nullptr;
  EXPECT_EQ(mapMemory(gbase() + 0x800000, &length, &address, c.space), c.status);
  if (c.status != 0) {
    EXPECT_TRUE(session().mappings().empty());
    return;
  }
  EXPECT_EQ(c.user ? inUserSpace(address) : inSystemSpace(address), true);
  EXPECT_EQ(session().userMappings().size(), c.user ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformMappingSpace,
    ::testing::Values(SpaceCase{"Memory", 0, false, 0, false},
                      SpaceCase{"DenseP6Cache", 0xC, false, 0, false},
                      SpaceCase{"UserModeWithAProcess", 2, true, 0, true},
                      SpaceCase{"AProcessWithoutTheUserModeBit", 0, true, 0, true},
                      SpaceCase{"UserModeWithoutAProcess", 2, false, 87, false},
                      SpaceCase{"AnUnknownBit", 0x10, false, 87, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(PlatformMapping, IoSpaceMappingsArePortNumbers) {
  ULONG length = 2;
  PVOID address = nullptr;
  ASSERT_EQ(mapMemory(0x3C8, &length, &address, VIDEO_MEMORY_SPACE_IO), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(address), 0x3C8u);
  EXPECT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 0);
}

struct RefusedCase {
  const char* name;
  uint64_t offset;  // from the graphics base
  ULONG length;
};

class PlatformMappingRefused : public MappingFixture,
                               public ::testing::WithParamInterface<RefusedCase> {
 protected:
  void SetUp() override { boot(0x00); }
};

TEST_P(PlatformMappingRefused, RangesOutsideTheDisplayMemoryAreRefused) {
  const RefusedCase& c = GetParam();
  ULONG length = c.length;
  PVOID address = nullptr;
  EXPECT_EQ(mapMemory(gbase() + c.offset, &length, &address), 87);
  EXPECT_TRUE(session().mappings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformMappingRefused,
    ::testing::Values(RefusedCase{"PastTheEnd", 0x800000, kMemory + 1},
                      RefusedCase{"StraddlingTheEnd", 0x800000 + kMemory - 0x1000, 0x2000},
                      RefusedCase{"RegisterWindow", 0x400000, 0x1000},
                      RefusedCase{"BelowTheGraphicsBase", 0ull - 0x1000, 0x1000},
                      RefusedCase{"Empty", 0x800000, 0}),
    [](const auto& info) { return std::string(info.param.name); });

using PlatformMappingDeathTest = PlatformMapping;

TEST_P(PlatformMappingDeathTest, TouchingARegisterWindowDirectlyFaults) {
  auto* engine = static_cast<volatile uint32_t*>(deviceBase(gbase() + 0x400000, 0x40000));
  ASSERT_NE(engine, nullptr);
  EXPECT_DEATH((void)engine[0x34 / 4], "");
}

// A view longer than the display memory, and one exactly as long with the
// next mapping right behind it: the byte past the memory faults in both.
TEST_P(PlatformMappingDeathTest, DirectAccessPastTheDisplayMemoryFaults) {
  for (ULONG length : {kMemory + 0x1000, kMemory}) {
    SCOPED_TRACE(length);
    auto* view = static_cast<volatile uint8_t*>(deviceBase(gbase() + 0x800000, length));
    ASSERT_NE(view, nullptr);
    ASSERT_NE(deviceBase(gbase(), kMemory), nullptr);
    view[kMemory - 1] = 1;
    EXPECT_DEATH(view[kMemory] = 1, "");
  }
}

TEST_P(PlatformMappingDeathTest, AnUnmappedViewFaults) {
  ULONG length = 0x2000;
  PVOID address = nullptr;
  ASSERT_EQ(mapMemory(gbase() + 0x800000, &length, &address), 0);
  auto* view = static_cast<volatile uint8_t*>(address);
  view[0] = 1;
  ASSERT_EQ(VideoPortUnmapMemory(extension(), address, nullptr), 0);
  EXPECT_DEATH(view[0] = 2, "");
}

TEST_P(PlatformMappingDeathTest, RegisterAccessOutsideEveryMappingIsFatal) {
  auto* engine = static_cast<uint8_t*>(deviceBase(gbase() + 0x400000, 0x40000));
  EXPECT_DEATH(VideoPortReadRegisterUlong(reinterpret_cast<PULONG>(engine + 0x3FFFE)),
               "no mapped register range");
  EXPECT_DEATH(VideoPortWriteRegisterUchar(reinterpret_cast<PUCHAR>(0x1000), 0),
               "no mapped register range");
}

// A kernel driver never touches user memory: the register functions refuse an
// address inside a process's mapping.
TEST_P(PlatformMappingDeathTest, RegisterAccessToAProcessMappingIsFatal) {
  ULONG length = 0x1000;
  PVOID address = platform::kCurrentProcess;
  ASSERT_EQ(mapMemory(gbase() + 0x800000, &length, &address), 0);
  EXPECT_DEATH(VideoPortReadRegisterUchar(static_cast<PUCHAR>(address)), "user memory");
}

INSTANTIATE_TEST_SUITE_P(GraphicsBase, PlatformMapping, ::testing::Values(0x00, 0x10));
INSTANTIATE_TEST_SUITE_P(GraphicsBase, PlatformMappingDeathTest, ::testing::Values(0x00, 0x10));

}  // namespace
}  // namespace orva::test
