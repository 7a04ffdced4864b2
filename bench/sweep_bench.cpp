// Throughput of the exhaustive sweep: every chip variant with every output
// keyword (and none) on a board with the most display memory, each booted with a
// freshly loaded driver, its mode list read and every listed mode set, through
// the same request client the sweep test uses.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "board.h"
#include "orva/requests.h"

namespace {

constexpr const char* kOutputs[] = {
    nullptr,         "MONITOR",           "100HZPAL",           "VGANTSC",   "TVPAL",
    "TVNTSC",        "TVNTSC269",         "TVNTSCINTERNAL",     "TVPALSVHS", "TVNTSCSVHS",
    "TVNTSC269SVHS", "TFTPHILIPSHLD1201", "TFTLGPHILIPSLM151X2"};

void Sweep(benchmark::State& state) {
  uint64_t boards = 0, modeSets = 0, refused = 0;
  for (auto _ : state) {
    for (orva::board::Variant variant : orva::board::kAllVariants) {
      for (const char* output : kOutputs) {
        orva::platform::BootOptions options;
        options.chip = orva::board::variantName(variant);
        options.memoryBytes = 8064u << 10;
        if (output != nullptr) options.output = output;
        auto session = orva::platform::boot(options);
        session->trace().setRecording(false);  // counters only
        ++boards;
        for (const auto& mode : orva::platform::queryModes(*session).value) {
          if (orva::platform::setMode(*session, mode.ModeIndex).status != 0) ++refused;
          ++modeSets;
        }
      }
    }
  }
  if (refused != 0) state.SkipWithError("a listed mode was refused");
  state.counters["boards"] = static_cast<double>(boards);
  state.counters["mode_sets"] = static_cast<double>(modeSets);
  state.counters["mode_sets_per_second"] =
      benchmark::Counter(static_cast<double>(modeSets), benchmark::Counter::kIsRate);
  state.SetLabel("every variant x output keyword, 8064K, every listed mode set");
}

BENCHMARK(Sweep)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
