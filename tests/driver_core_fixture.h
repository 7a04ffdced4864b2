// Shared set-up of the driver-core tests: boots a board with a freshly loaded
// driver and reads back what the board, the trace and the registry saw.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "miniport/miniport.h"
#include "orva/requests.h"
#include "orva/session.h"

namespace orva::core_test {

using board::TraceEvent;
using board::Variant;
using platform::Session;
using Op = TraceEvent::Op;

struct Board {
  Variant variant = Variant::Bramble;
  std::optional<std::vector<uint8_t>> output =
      std::nullopt;  // raw "HardwareInformation.OutputType"
  uint32_t memory = 4u << 20;
  uint8_t gbase = 0x00;
  uint16_t tftPorts = 0x0D00;
  bool start = true;  // run DriverEntry
};

inline std::unique_ptr<Session> Boot(const Board& b) {
  platform::SessionOptions options;
  options.board.variant = b.variant;
  options.board.memoryBytes = b.memory;
  options.board.gbase = b.gbase;
  options.board.tftBasePort = b.tftPorts;
  options.outputType = b.output;
  options.runDriverEntry = b.start;
  return std::make_unique<Session>(options);
}

inline std::unique_ptr<Session> Boot(Variant variant, const char* output = nullptr,
                                     uint32_t memory = 4u << 20) {
  Board b{variant};
  if (output != nullptr) b.output = platform::registryString(output);
  b.memory = memory;
  return Boot(b);
}

// A driver function or variable of this session.
template <typename T>
T* Sym(const Session& session, const char* name) {
  T* address = session.driverSymbol<T>(name);
  if (address == nullptr) ADD_FAILURE() << "driver module has no symbol " << name;
  return address;
}

inline HW_DEVICE_EXTENSION Extension(Session& session) {
  HW_DEVICE_EXTENSION extension{};
  std::memcpy(&extension, session.deviceExtension().data(), sizeof extension);
  return extension;
}

inline bool SameExtension(Session& session, const HW_DEVICE_EXTENSION& before) {
  return std::memcmp(&before, session.deviceExtension().data(), sizeof before) == 0;
}

// Events of the given kinds since the trace was last cleared; by default every
// port and register access and every map request.
inline std::vector<TraceEvent> Events(Session& session,
                                      std::vector<Op> ops = {Op::In, Op::Out, Op::Read, Op::Write,
                                                             Op::Map}) {
  std::vector<TraceEvent> out;
  for (const TraceEvent& e : session.trace().events()) {
    if (std::find(ops.begin(), ops.end(), e.op) != ops.end()) out.push_back(e);
  }
  return out;
}

inline uint32_t NumModes(Session& session) {
  return platform::queryNumModes(session).value.NumModes;
}

// A registry value the driver wrote, read back as 8-bit text from UTF-16.
inline std::string RegistryText(Session& session, const std::string& name) {
  const auto& data = session.registry().at(name);
  std::string text;
  for (size_t i = 0; i + 1 < data.size() && (data[i] | data[i + 1]) != 0; i += 2) {
    text.push_back(static_cast<char>(data[i]));
  }
  return text;
}

}  // namespace orva::core_test
