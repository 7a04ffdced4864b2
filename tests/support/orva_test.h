// Shared helpers of the tests: where the driver modules are, booting a session
// the way users do, and reading the bus trace back.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "orva/requests.h"
#include "orva/session.h"

namespace orva::test {

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

}  // namespace orva::test
