// Shared set-up of the display-controller tests: a board of a chosen variant with
// a freshly loaded driver that has run discovery (every range mapped, the chip
// identified), the driver's functions reached through the session, and helpers
// that read the port accesses back out of the bus trace.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "hwcrtc/hwcrtc.h"
#include "orva/session.h"

namespace orva::crtc_test {

// A driver function of this session by its C name, typed as the driver declares it.
#define CRTC_FN(session, name) (session).fn<decltype(name)>(#name)

struct PortAccess {
  bool write = false;
  uint32_t port = 0;
  uint32_t value = 0;  // the value written, or the value a read returned
  bool operator==(const PortAccess&) const = default;
};

inline PortAccess Out(uint32_t port, uint32_t value) { return {true, port, value}; }
// A read whose value the comparison ignores.
inline PortAccess In(uint32_t port) { return {false, port, 0}; }

inline std::string Describe(const PortAccess& a) {
  char text[48];
  std::snprintf(text, sizeof text, "%s 0x%03X = 0x%02X", a.write ? "out" : "in ", a.port, a.value);
  return text;
}

class CrtcBoard {
 public:
  explicit CrtcBoard(board::Variant variant, uint8_t superIoE1 = 0x02) {
    platform::SessionOptions options;
    options.board.variant = variant;
    options.board.superIoE1 = superIoE1;
    session_ = std::make_unique<platform::Session>(options);
  }

  template <typename F>
  F* fn(const char* name) const {
    F* function = session_->driverSymbol<F>(name);
    if (function == nullptr) ADD_FAILURE() << "driver has no symbol " << name;
    return function;
  }

  platform::Session& session() { return *session_; }
  board::Board& board() { return session_->board(); }

  // Starts a fresh record of the accesses that follow.
  void mark() { board().trace().clear(); }

  // 8-bit port accesses since mark(), reads with their values dropped unless keepReads.
  std::vector<PortAccess> ports(bool keepReadValues = false) {
    std::vector<PortAccess> out;
    for (const auto& e : board().trace().events()) {
      if (e.op != board::TraceEvent::Op::In && e.op != board::TraceEvent::Op::Out) continue;
      const bool write = e.op == board::TraceEvent::Op::Out;
      out.push_back({write, static_cast<uint32_t>(e.address),
                     write || keepReadValues ? static_cast<uint32_t>(e.value) : 0u});
    }
    return out;
  }

  // Values written to one register of an index/data pair since mark(), in order.
  std::vector<uint8_t> indexedWrites(uint32_t indexPort, uint8_t index) {
    std::vector<uint8_t> values;
    std::optional<uint32_t> selected;
    for (const auto& a : ports()) {
      if (!a.write) continue;
      if (a.port == indexPort) selected = a.value;
      if (a.port == indexPort + 1 && selected == index) values.push_back(a.value & 0xFF);
    }
    return values;
  }

  // Configuration registers written since mark(), in order.
  std::vector<uint8_t> configRegistersWritten() {
    std::vector<uint8_t> written;
    std::optional<uint32_t> selected;
    for (const auto& a : ports()) {
      if (!a.write) continue;
      if (a.port == 0x22) selected = a.value;
      if (a.port == 0x23 && selected) written.push_back(static_cast<uint8_t>(*selected));
    }
    return written;
  }

 private:
  std::unique_ptr<platform::Session> session_;
};

inline void ExpectSameAccesses(const std::vector<PortAccess>& actual,
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

}  // namespace orva::crtc_test
