// Bus trace: counters for every event, the events themselves while recording,
// and their JSON Lines form.
#include "trace.h"

#include <cstdio>

namespace orva::board {

namespace {

void appendNumber(std::string& out, uint64_t value) { out += std::to_string(value); }

// Length of the well-formed UTF-8 sequence starting at text[i], or 0 when the
// byte there does not start one.
size_t utf8SequenceLength(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// A JSON string. Well-formed UTF-8 passes through; a byte that is not part of
// one is written as the code point of the same value, so every name the driver
// produces stays representable.
void appendString(std::string& out, const std::string& text) {
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t length = utf8SequenceLength(text, i); length != 0) {
      out.append(text, i, length);
      i += length;
      continue;
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
    ++i;
  }
  out += '"';
}

void appendHex(std::string& out, const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += '"';
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  out += '"';
}

void field(std::string& out, const char* name) {
  out += ",\"";
  out += name;
  out += "\":";
}

void numberField(std::string& out, const char* name, uint64_t value) {
  field(out, name);
  appendNumber(out, value);
}

const char* opName(TraceEvent::Op op) {
  switch (op) {
    case TraceEvent::Op::Map:
      return "map";
    case TraceEvent::Op::In:
      return "in";
    case TraceEvent::Op::Out:
      return "out";
    case TraceEvent::Op::Read:
      return "read";
    case TraceEvent::Op::Write:
      return "write";
    case TraceEvent::Op::Stall:
      return "stall";
    case TraceEvent::Op::RegistryGet:
      return "registry-get";
    case TraceEvent::Op::RegistrySet:
      return "registry-set";
    case TraceEvent::Op::Request:
      return "request";
    case TraceEvent::Op::Done:
      return "done";
  }
  return "unknown";
}

}  // namespace

void Trace::add(TraceEvent event) {
  switch (event.op) {
    case TraceEvent::Op::Map:
      ++counters_.maps;
      break;
    case TraceEvent::Op::In:
      ++counters_.portReads;
      break;
    case TraceEvent::Op::Out:
      ++counters_.portWrites;
      break;
    case TraceEvent::Op::Read:
      ++counters_.registerReads;
      break;
    case TraceEvent::Op::Write:
      ++counters_.registerWrites;
      break;
    case TraceEvent::Op::Stall:
      counters_.stallMicroseconds += event.value;
      break;
    default:
      break;
  }
  if (event.undecoded) ++counters_.undecoded;
  if (sink_) sink_(event);
  if (recording_) events_.push_back(std::move(event));
}

void Trace::clear() {
  events_.clear();
  counters_ = {};
}

void Trace::setRequestedPort(uint64_t requested) {
  if (events_.empty()) return;
  TraceEvent& last = events_.back();
  if (last.op == TraceEvent::Op::In || last.op == TraceEvent::Op::Out) last.requested = requested;
}

std::string Trace::toJson(const TraceEvent& e) {
  std::string out = "{\"op\":";
  appendString(out, opName(e.op));
  switch (e.op) {
    case TraceEvent::Op::Map:
      field(out, "space");
      out += e.io ? "\"io\"" : "\"memory\"";
      numberField(out, "phys", e.address);
      numberField(out, "length", e.value);
      if (e.failed) out += ",\"failed\":true";
      break;
    case TraceEvent::Op::In:
    case TraceEvent::Op::Out:
      numberField(out, "width", e.width);
      numberField(out, "port", e.address);
      numberField(out, "value", e.value);
      if (e.requested != 0) numberField(out, "requested", e.requested);
      break;
    case TraceEvent::Op::Read:
    case TraceEvent::Op::Write:
      numberField(out, "width", e.width);
      numberField(out, "addr", e.address);
      numberField(out, "value", e.value);
      break;
    case TraceEvent::Op::Stall:
      numberField(out, "us", e.value);
      break;
    case TraceEvent::Op::RegistryGet:
      field(out, "name");
      appendString(out, e.name);
      field(out, "found");
      out += e.found ? "true" : "false";
      if (e.found) {
        field(out, "text");
        appendString(out, e.text);
      }
      break;
    case TraceEvent::Op::RegistrySet:
      field(out, "name");
      appendString(out, e.name);
      numberField(out, "length", e.extra);
      field(out, "data");
      appendHex(out, e.bytes);
      break;
    case TraceEvent::Op::Request:
      numberField(out, "code", e.value);
      field(out, "input");
      appendHex(out, e.bytes);
      numberField(out, "output_length", e.extra);
      break;
    case TraceEvent::Op::Done:
      numberField(out, "code", e.value);
      numberField(out, "status", e.extra);
      numberField(out, "information", e.extra2);
      field(out, "output");
      appendHex(out, e.bytes);
      break;
  }
  if (e.undecoded) out += ",\"undecoded\":true";
  out += '}';
  return out;
}

std::string Trace::toJsonLines() const {
  std::string out;
  for (const TraceEvent& e : events_) {
    out += toJson(e);
    out += '\n';
  }
  return out;
}

}  // namespace orva::board
