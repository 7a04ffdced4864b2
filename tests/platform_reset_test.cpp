// Session::reset, which the fuzzer uses to run every input on one session: a
// session reset after use must be indistinguishable from a new one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <vector>

#include "orva_test.h"

namespace orva::test {
namespace {

using platform::Session;
using platform::SessionOptions;

SessionOptions boardOptions(board::Variant variant, uint32_t memoryBytes, const char* output) {
  SessionOptions options;
  options.board.variant = variant;
  options.board.memoryBytes = memoryBytes;
  if (output != nullptr) options.outputType = platform::registryString(output);
  options.verify = true;
  options.runDriverEntry = false;
  return options;
}

// What a display driver's session leaves: every bus access and request in the
// trace, display memory, mappings, registry values and verifier notices.
struct Outcome {
  std::string trace;
  std::vector<uint8_t> memory;
  std::vector<platform::Mapping> mappings;
  std::map<std::string, std::vector<uint8_t>> registry;
  std::vector<std::string> notices;
};

Outcome use(Session& session) {
  session.startDriver();
  EXPECT_TRUE(session.open());
  const auto modes = platform::queryModes(session);
  EXPECT_TRUE(modes.ok());
  if (modes.ok() && !modes.value.empty()) {
    EXPECT_EQ(platform::setMode(session, modes.value.back().ModeIndex).status, 0u);
    platform::PointerShape shape;
    shape.pixels.fill(0x5A);
    platform::setPointerAttributes(session, shape);
    platform::setPointerPosition(session, 17, 9);
    platform::mapVideoMemory(session);
    platform::mapVideoMemory(session, session.createProcess());
  }
  Outcome out;
  out.trace = session.trace().toJsonLines();
  const board::Board& b = session.board();
  out.memory.assign(b.vram(), b.vram() + b.vramSize());
  for (const platform::Mapping& m : session.mappings()) out.mappings.push_back(m);
  out.registry = session.registry();
  for (const platform::Notice& n : session.verifierReport()) out.notices.push_back(n.message);
  return out;
}

void expectSame(const Outcome& fresh, const Outcome& reset) {
  EXPECT_EQ(fresh.trace, reset.trace);
  EXPECT_TRUE(fresh.memory == reset.memory) << "display memory differs";
  ASSERT_EQ(fresh.mappings.size(), reset.mappings.size());
  for (size_t i = 0; i < fresh.mappings.size(); ++i) {
    EXPECT_EQ(fresh.mappings[i].address, reset.mappings[i].address) << "mapping " << i;
    EXPECT_EQ(fresh.mappings[i].process, reset.mappings[i].process) << "mapping " << i;
  }
  EXPECT_EQ(fresh.registry, reset.registry);
  EXPECT_EQ(fresh.notices, reset.notices);
}

TEST(PlatformReset, ASessionResetAfterUseMatchesANewOne) {
  struct Case {
    const char* name;
    SessionOptions before, after;
  };
  const Case cases[] = {
      {"same board", boardOptions(board::Variant::Bramble, 4 << 20, nullptr),
       boardOptions(board::Variant::Bramble, 4 << 20, nullptr)},
      {"more memory after less",
       boardOptions(board::Variant::Mistral, 1 << 20, "TFTPHILIPSHLD1201"),
       boardOptions(board::Variant::Kestrel, 0x3F * 0x20000, nullptr)},
      {"less memory after more", boardOptions(board::Variant::Kestrel, 0x3F * 0x20000, nullptr),
       boardOptions(board::Variant::Pinto, 2 << 20, "TVPAL")},
      {"another output", boardOptions(board::Variant::Pinto, 2 << 20, "TVNTSC"),
       boardOptions(board::Variant::Mistral, 2 << 20, "MONITOR")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome fresh;
    {
      Session session(c.after);
      fresh = use(session);
    }
    Session session(c.before);
    use(session);
    session.reset(c.after);
    expectSame(fresh, use(session));
    session.reset(c.after);
    expectSame(fresh, use(session));
  }
}

// Whether a byte at `address` can be read: a pipe write copies from it, and
// fails with EFAULT instead of faulting when the page is inaccessible.
bool readable(uint64_t address) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const ssize_t n = write(fds[1], reinterpret_cast<const void*>(address), 1);
  const int error = errno;
  close(fds[0]);
  close(fds[1]);
  EXPECT_TRUE(n == 1 || error == EFAULT) << "errno " << error;
  return n == 1;
}

// The display memory a session mapped is out of reach once the session is reset,
// and comes back, cleared, where the next session maps it again.
TEST(PlatformReset, MappedDisplayMemoryIsOutOfReachAfterAReset) {
  const SessionOptions options = boardOptions(board::Variant::Bramble, 4 << 20, nullptr);
  Session session(options);
  use(session);
  std::vector<uint64_t> memory;
  for (const platform::Mapping& m : session.mappings())
    if (!m.io && m.physical == session.board().gbase()) memory.push_back(m.address);
  ASSERT_FALSE(memory.empty());
  for (uint64_t address : memory) ASSERT_TRUE(readable(address));
  session.reset(options);
  for (uint64_t address : memory) EXPECT_FALSE(readable(address)) << std::hex << address;
  use(session);
  for (uint64_t address : memory) EXPECT_TRUE(readable(address)) << std::hex << address;
}

// A view handed out again at an address a reset freed shows its own part of
// display memory, not the part the earlier view at that address showed.
TEST(PlatformReset, AViewAtAFreedAddressShowsItsOwnMemory) {
  SessionOptions options;
  options.driverPath = probeModulePath();
  Session session(options);
  const auto map = [&](uint32_t offset) {
    PHYSICAL_ADDRESS at;
    at.QuadPart = session.board().gbase() + offset;
    auto* extension = const_cast<uint8_t*>(session.deviceExtension().data());
    return static_cast<const uint8_t*>(VideoPortGetDeviceBase(extension, at, 0x2000, 0));
  };
  const uint8_t* before = map(0x1000);
  ASSERT_NE(before, nullptr);
  session.reset(options);
  const uint8_t* after = map(0);
  ASSERT_EQ(after, before);  // the same address, another part of memory
  session.board().vram()[0] = 0x11;
  session.board().vram()[0x1000] = 0x22;
  EXPECT_EQ(after[0], 0x11);
  EXPECT_EQ(after[0x1000], 0x22);
}

TEST(PlatformReset, ModuleVariablesReturnToTheirLoadValues) {
  SessionOptions options;
  options.driverPath = probeModulePath();
  Session session(options);
  auto* marker = symbolOf<ULONG>(session, "PROBE_ulLoadMarker");
  ASSERT_NE(marker, nullptr);
  *marker = 0xBAD0;
  session.reset(options);
  EXPECT_EQ(*marker, 0x5EEDu);
  EXPECT_EQ(*symbolOf<ULONG>(session, "PROBE_ulFindCalls"), 1u);  // DriverEntry ran once more
}

TEST(PlatformReset, RefusesToLoadAnotherDriver) {
  SessionOptions probe;
  probe.driverPath = probeModulePath();
  Session session(probe);
  EXPECT_THROW(session.reset(SessionOptions{}), std::logic_error);
}

}  // namespace
}  // namespace orva::test
