#include "orva_test.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva::test {

std::string driverModulePath() { return ORVA_DRIVER_MODULE_PATH; }
std::string probeModulePath() { return ORVA_PROBE_MODULE_PATH; }

platform::Session& Booted::boot(const platform::BootOptions& options) {
  return boot(platform::sessionOptions(options));
}

platform::Session& Booted::boot(const platform::SessionOptions& options) {
  session_.reset();
  session_ = std::make_unique<platform::Session>(options);
  if (options.runDriverEntry) session_->open();
  return *session_;
}

std::vector<platform::Notice> NoticesOf(const platform::Session& session, std::string_view kind) {
  std::vector<platform::Notice> out;
  for (const platform::Notice& notice : session.notices()) {
    if (notice.kind == kind) out.push_back(notice);
  }
  return out;
}

std::vector<board::TraceEvent> eventsOf(const board::Trace& trace, board::TraceEvent::Op op) {
  std::vector<board::TraceEvent> out;
  for (const board::TraceEvent& event : trace.events()) {
    if (event.op == op) out.push_back(event);
  }
  return out;
}

std::unique_ptr<Session> Boot(const BoardSetup& setup) {
  platform::SessionOptions options;
  options.board.variant = setup.variant;
  options.board.memoryBytes = setup.memory;
  options.board.gbase = setup.gbase;
  options.board.tftBasePort = setup.tftPorts;
  options.board.superIoE1 = setup.superIoE1;
  options.board.tvEncoderPresent = setup.tvEncoder;
  options.outputType = setup.rawOutput;
  if (setup.output != nullptr) options.outputType = platform::registryString(setup.output);
  options.runDriverEntry = setup.start;
  auto session = std::make_unique<Session>(options);
  if (setup.start) session->open();
  return session;
}

std::vector<TraceEvent> Events(Session& session, std::vector<Op> ops) {
  std::vector<TraceEvent> out;
  for (const TraceEvent& e : session.trace().events()) {
    if (std::find(ops.begin(), ops.end(), e.op) != ops.end()) out.push_back(e);
  }
  return out;
}

std::vector<uint64_t> Stalls(Session& session) {
  std::vector<uint64_t> out;
  for (const TraceEvent& e : Events(session, {Op::Stall})) out.push_back(e.value);
  return out;
}

HW_DEVICE_EXTENSION Extension(Session& session) {
  HW_DEVICE_EXTENSION extension{};
  std::memcpy(&extension, session.deviceExtension().data(), sizeof extension);
  return extension;
}

bool SameExtension(Session& session, const HW_DEVICE_EXTENSION& before) {
  return std::memcmp(&before, session.deviceExtension().data(), sizeof before) == 0;
}

std::string RegistryText(Session& session, const std::string& name) {
  const auto& data = session.registry().at(name);
  std::string text;
  for (size_t i = 0; i + 1 < data.size() && (data[i] | data[i + 1]) != 0; i += 2) {
    text.push_back(static_cast<char>(data[i]));
  }
  return text;
}

std::string Describe(const PortAccess& a) {
  char text[48];
  std::snprintf(text, sizeof text, "%s 0x%03X = 0x%02X", a.write ? "out" : "in ", a.port, a.value);
  return text;
}

std::vector<PortAccess> Ports(Session& session, bool keepReadValues) {
  std::vector<PortAccess> out;
  for (const TraceEvent& e : Events(session, {Op::In, Op::Out})) {
    const bool write = e.op == Op::Out;
    out.push_back({write, static_cast<uint32_t>(e.address),
                   write || keepReadValues ? static_cast<uint32_t>(e.value) : 0u});
  }
  return out;
}

std::vector<std::pair<uint8_t, uint8_t>> IndexedPairs(Session& session, uint32_t indexPort) {
  std::vector<std::pair<uint8_t, uint8_t>> pairs;
  std::optional<uint32_t> selected;
  for (const PortAccess& a : Ports(session)) {
    if (a.write && a.port == indexPort) selected = a.value;
    if (a.write && a.port == indexPort + 1 && selected) {
      pairs.emplace_back(static_cast<uint8_t>(*selected), static_cast<uint8_t>(a.value));
    }
  }
  return pairs;
}

std::vector<uint8_t> IndexedWrites(Session& session, uint32_t indexPort, uint8_t index) {
  std::vector<uint8_t> values;
  for (const auto& [selected, value] : IndexedPairs(session, indexPort)) {
    if (selected == index) values.push_back(value);
  }
  return values;
}

std::vector<uint8_t> ConfigWritten(Session& session) {
  std::vector<uint8_t> written;
  for (const auto& pair : IndexedPairs(session, 0x22)) written.push_back(pair.first);
  return written;
}

void ExpectSameAccesses(const std::vector<PortAccess>& actual,
                        const std::vector<PortAccess>& expected) {
  const size_t common = std::min(actual.size(), expected.size());
  for (size_t i = 0; i < common; ++i) {
    if (!(actual[i] == expected[i])) {
      ADD_FAILURE() << "access " << i << ": " << Describe(actual[i]) << ", expected "
                    << Describe(expected[i]);
      return;
    }
  }
  EXPECT_EQ(actual.size(), expected.size()) << "number of port accesses";
}

}  // namespace orva::test
