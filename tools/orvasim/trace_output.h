// The bus trace as the tool writes it: the board's JSON Lines with the tool's own
// context added after the board's fields (the scenario line an event belongs to,
// the name of a request), a filter on the kinds of event and on port ranges, and a
// closing record when the run stopped part way.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trace.h"

namespace orvasim {

// The first trace event of a scenario line.
struct TraceMark {
  size_t event = 0;
  int line = 0;
};

// Which events to keep: by kind ("maps", "ports", "registers", "stalls", "registry",
// "requests") and port accesses by range. Empty: everything.
struct TraceFilter {
  std::vector<std::string> kinds;
  std::vector<std::pair<uint32_t, uint32_t>> ports;  // inclusive ranges
  bool keeps(const orva::board::TraceEvent& event) const;
};
// "ports,requests", "0x3D4-0x3D5,stalls"; "" keeps everything. Throws UsageError.
TraceFilter parseTraceFilter(std::string_view text);

struct TraceStop {
  int line = 0;  // 0: outside a scenario
  std::string reason;
};

struct TraceContext {
  std::vector<TraceMark> marks;  // in event order
  TraceFilter filter;
  std::optional<TraceStop> stop;
};

std::string traceJsonLines(const orva::board::Trace& trace, const TraceContext& context);

}  // namespace orvasim
