// Bus trace: every access the driver makes, in program order, as JSON Lines.
// One object per event: "op" first, then the operation's fields in a fixed order;
// byte strings (registry-set data, request input, done output) as lowercase hex
// pairs; an access the board did not decode carries "undecoded": true last, and a
// mapping the library refused carries "failed": true last.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orva::board {

struct TraceEvent {
  enum class Op : uint8_t {
    Map,
    In,
    Out,
    Read,
    Write,
    Stall,
    RegistryGet,
    RegistrySet,
    Request,
    Done
  };
  Op op;
  uint8_t width = 0;           // in/out/read/write: 8, 16, 32
  bool io = false;             // map: I/O space
  bool found = false;          // registry-get
  bool failed = false;         // map: the library refused the mapping
  bool undecoded = false;      // in/out/read/write the board did not decode
  uint64_t address = 0;        // port, physical address, map phys
  uint64_t value = 0;          // access value, map length, stall us, request/done code
  uint64_t extra = 0;          // done: status; request: output_length; registry-set: length
  uint64_t extra2 = 0;         // done: information
  uint64_t requested = 0;      // in/out: the port number the driver passed, when the bus saw
                               // only its low 16 bits (0: the same as `address`)
  std::string name;            // registry value name
  std::string text;            // registry-get text
  std::vector<uint8_t> bytes;  // registry-set data, request input, done output
};

struct TraceCounters {
  uint64_t portReads = 0, portWrites = 0;
  uint64_t registerReads = 0, registerWrites = 0;
  uint64_t stallMicroseconds = 0;
  uint64_t undecoded = 0;
  uint64_t maps = 0;
};

class Trace {
 public:
  // Counts the event always; keeps it only while recording.
  void add(TraceEvent event);
  // Marks the last event kept, a port access, with the number the driver passed.
  void setRequestedPort(uint64_t requested);
  const std::vector<TraceEvent>& events() const { return events_; }
  const TraceCounters& counters() const { return counters_; }
  void clear();  // events and counters
  // Keep only counters (fuzzing, benchmarks); events are dropped.
  void setRecording(bool on) { recording_ = on; }
  // Hands every event, as it is added, to `sink` as well (an emulator that runs
  // for hours streams its trace instead of keeping it); empty: none. Clearing the
  // trace keeps the sink.
  using Sink = std::function<void(const TraceEvent&)>;
  void setSink(Sink sink) { sink_ = std::move(sink); }
  bool recording() const { return recording_; }
  std::string toJsonLines() const;
  static std::string toJson(const TraceEvent& event);

 private:
  std::vector<TraceEvent> events_;
  TraceCounters counters_;
  bool recording_ = true;
  Sink sink_;
};

}  // namespace orva::board
