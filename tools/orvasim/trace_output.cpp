#include "trace_output.h"

#include <algorithm>
#include <array>

#include "client.h"
#include "parse.h"

namespace orvasim {

namespace {

using Op = orva::board::TraceEvent::Op;

struct Kind {
  std::string_view name;
  std::array<Op, 2> ops;
};

constexpr std::array kKinds = {
    Kind{"maps", {Op::Map, Op::Map}},
    Kind{"ports", {Op::In, Op::Out}},
    Kind{"registers", {Op::Read, Op::Write}},
    Kind{"stalls", {Op::Stall, Op::Stall}},
    Kind{"registry", {Op::RegistryGet, Op::RegistrySet}},
    Kind{"requests", {Op::Request, Op::Done}},
};

[[noreturn]] void refuse(std::string_view item) {
  throw UsageError("--trace-only: unknown item '" + std::string(item) +
                   "' (maps, ports, registers, stalls, registry, requests, or a port range "
                   "such as 0x3D4-0x3D5)");
}

std::string quoted(const std::string& text) {
  // The board writes its own strings; the tool's are plain text that needs only
  // quotes and backslashes escaped (control characters never occur in them).
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    out += c;
  }
  return out + "\"";
}

}  // namespace

bool TraceFilter::keeps(const orva::board::TraceEvent& event) const {
  if (kinds.empty() && ports.empty()) return true;
  for (const std::string& kind : kinds)
    for (const Kind& k : kKinds)
      if (k.name == kind && (k.ops[0] == event.op || k.ops[1] == event.op)) return true;
  if (event.op == Op::In || event.op == Op::Out)
    for (const auto& [first, last] : ports)
      if (event.address >= first && event.address <= last) return true;
  return false;
}

TraceFilter parseTraceFilter(std::string_view text) {
  TraceFilter filter;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string item = trim(text.substr(begin, end - begin));
    begin = end + 1;
    if (item.empty()) continue;
    if (std::any_of(kKinds.begin(), kKinds.end(), [&](const Kind& k) { return k.name == item; })) {
      filter.kinds.push_back(item);
      continue;
    }
    const size_t dash = item.find('-');
    std::optional<uint64_t> first = parseUnsigned(item.substr(0, dash), 16);
    std::optional<uint64_t> last =
        dash == std::string::npos ? first : parseUnsigned(item.substr(dash + 1), 16);
    if (!first || !last) {
      if (numberProblem(item.substr(0, dash), 16).starts_with("is too large") ||
          (dash != std::string::npos &&
           numberProblem(item.substr(dash + 1), 16).starts_with("is too large")))
        throw UsageError("--trace-only: port range '" + item +
                         "' is too large (ports are 0 to 0xFFFF)");
      refuse(item);
    }
    if (*last < *first)
      throw UsageError("--trace-only: port range '" + item + "' ends before it starts");
    filter.ports.emplace_back(static_cast<uint32_t>(*first), static_cast<uint32_t>(*last));
  }
  return filter;
}

std::string traceJsonLines(const orva::board::Trace& trace, const TraceContext& context) {
  std::string out;
  const std::vector<orva::board::TraceEvent>& events = trace.events();
  size_t mark = 0;
  int line = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    while (mark < context.marks.size() && context.marks[mark].event <= i)
      line = context.marks[mark++].line;
    const orva::board::TraceEvent& e = events[i];
    if (!context.filter.keeps(e)) continue;
    std::string json = orva::board::Trace::toJson(e);
    json.pop_back();  // the closing brace: the tool's fields follow the board's
    if (line) json += ",\"line\":" + std::to_string(line);
    if (e.op == Op::Request || e.op == Op::Done)
      json += ",\"request\":" + quoted(requestName(static_cast<uint32_t>(e.value)));
    out += json;
    out += "}\n";
  }
  if (context.stop) {
    out += "{\"op\":\"stop\"";
    if (context.stop->line) out += ",\"line\":" + std::to_string(context.stop->line);
    out += ",\"reason\":" + quoted(context.stop->reason) + "}\n";
  }
  return out;
}

}  // namespace orvasim
