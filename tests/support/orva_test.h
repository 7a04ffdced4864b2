// Shared helpers of the tests: where the driver modules are, booting a session
// the way users do, calling into the loaded driver, and reading the bus trace,
// the registry and the device extension back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board.h"
#include "orva/requests.h"
#include "orva/session.h"

namespace orva::test {

using board::TraceEvent;
using board::Variant;
using platform::Session;
using Op = TraceEvent::Op;

// The host build of the driver, and the probe miniport that records what the
// video port library hands it.
std::string driverModulePath();
std::string probeModulePath();

// Owns the process's one session. boot() ends the previous session first.
class Booted {
 public:
  platform::Session& boot(const platform::BootOptions& options);
  platform::Session& boot(const platform::SessionOptions& options);
  platform::Session& session() { return *session_; }
  platform::Session* operator->() { return session_.get(); }
  void end() { session_.reset(); }

 private:
  std::unique_ptr<platform::Session> session_;
};

// The verifier's notices of one kind, in order.
std::vector<platform::Notice> NoticesOf(const platform::Session& session, std::string_view kind);

// Events of one kind, in order.
std::vector<board::TraceEvent> eventsOf(const board::Trace& trace, board::TraceEvent::Op op);

// A driver module variable or function through the session, failing the test
// when the module does not have it.
template <typename T>
T* symbolOf(const platform::Session& session, const char* name) {
  T* address = session.driverSymbol<T>(name);
  if (address == nullptr) ADD_FAILURE() << "driver module has no symbol " << name;
  return address;
}

// --- A board with a freshly loaded driver --------------------------------------------

struct BoardSetup {
  Variant variant = Variant::Bramble;
  const char* output = nullptr;  // "HardwareInformation.OutputType" keyword; none: not set
  uint32_t memory = 4u << 20;
  std::optional<std::vector<uint8_t>> rawOutput = std::nullopt;  // the value's bytes instead
  uint8_t gbase = 0x00;
  uint16_t tftPorts = 0x0D00;
  uint8_t superIoE1 = 0x02;
  bool tvEncoder = true;
  bool start = true;  // run DriverEntry (discovery maps every range and identifies the chip)
};

std::unique_ptr<Session> Boot(const BoardSetup& setup);
inline std::unique_ptr<Session> Boot(Variant variant, const char* output = nullptr,
                                     uint32_t memory = 4u << 20) {
  return Boot(BoardSetup{.variant = variant, .output = output, .memory = memory});
}

// A driver variable or function; throws (failing the test) when the module lacks it.
template <typename T>
T* Sym(const Session& session, const char* name) {
  T* address = session.driverSymbol<T>(name);
  if (address == nullptr) throw std::runtime_error(std::string("driver has no symbol ") + name);
  return address;
}
// A driver function by its C name, typed as the driver declares it.
#define DRIVER_FN(session, name) (::orva::test::Sym<decltype(name)>((session), #name))

// Events of the given kinds since the trace was last cleared; by default every
// port and register access and every map request.
std::vector<TraceEvent> Events(Session& session, std::vector<Op> ops = {Op::In, Op::Out, Op::Read,
                                                                        Op::Write, Op::Map});
// The busy waits since the trace was last cleared, in microseconds.
std::vector<uint64_t> Stalls(Session& session);

HW_DEVICE_EXTENSION Extension(Session& session);
bool SameExtension(Session& session, const HW_DEVICE_EXTENSION& before);
// A registry value the driver wrote, read back as 8-bit text from UTF-16.
std::string RegistryText(Session& session, const std::string& name);

// --- Port accesses ---------------------------------------------------------------------

struct PortAccess {
  bool write = false;
  uint32_t port = 0;
  uint32_t value = 0;  // the value written, or the value a read returned
  bool operator==(const PortAccess&) const = default;
};
inline PortAccess Out(uint32_t port, uint32_t value) { return {true, port, value}; }
// A read whose value the comparison ignores.
inline PortAccess In(uint32_t port) { return {false, port, 0}; }
std::string Describe(const PortAccess& access);

// Port accesses since the trace was last cleared; read values dropped unless kept.
std::vector<PortAccess> Ports(Session& session, bool keepReadValues = false);
// (index, value) of every data write to an index/data pair, in order.
std::vector<std::pair<uint8_t, uint8_t>> IndexedPairs(Session& session, uint32_t indexPort);
// Values written to one register of an index/data pair, in order.
std::vector<uint8_t> IndexedWrites(Session& session, uint32_t indexPort, uint8_t index);
// Chipset configuration registers written (0x22/0x23 pair), in order.
std::vector<uint8_t> ConfigWritten(Session& session);
// Reports the first access that differs, then a difference in number.
void ExpectSameAccesses(const std::vector<PortAccess>& actual,
                        const std::vector<PortAccess>& expected);

}  // namespace orva::test
