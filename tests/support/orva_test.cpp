#include "orva_test.h"

#include <cstdlib>

namespace orva::test {

std::string driverModulePath() { return ORVA_DRIVER_MODULE_PATH; }
std::string probeModulePath() { return ORVA_PROBE_MODULE_PATH; }

platform::Session& Booted::boot(const platform::BootOptions& options) {
  return boot(platform::sessionOptions(options));
}

platform::Session& Booted::boot(const platform::SessionOptions& options) {
  session_.reset();
  session_ = std::make_unique<platform::Session>(options);
  return *session_;
}

std::vector<board::TraceEvent> eventsOf(const board::Trace& trace, board::TraceEvent::Op op) {
  std::vector<board::TraceEvent> out;
  for (const board::TraceEvent& event : trace.events()) {
    if (event.op == op) out.push_back(event);
  }
  return out;
}

}  // namespace orva::test
