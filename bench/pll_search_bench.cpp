// The PLL search over every frequency the mode table can ask for: each row whose
// clock follows the refresh rate at the eight offered rates, and each fixed
// clock, on a chip of each PLL design.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "hwcrtc/hwcrtc.h"
#include "orva/session.h"

namespace {

constexpr uint32_t kRefreshRates[] = {60, 70, 75, 80, 85, 90, 95, 100};

// One timing register of a list, 0 when the list does not write it.
uint32_t TimingRegister(const UCHAR* list, UCHAR index) {
  for (; list[0] != 0xFF; list += 2) {
    if (list[0] == index) return list[1];
  }
  return 0;
}

// The frequencies a mode set programs: horizontal total x vertical total x rate
// with 8-pixel characters (as the VGA set-up leaves them), or the fixed kHz.
std::vector<int32_t> ModeTableTargets(const HWCRTC_GRAPHICSMODE* table) {
  std::vector<int32_t> targets;
  for (const HWCRTC_GRAPHICSMODE* row = table; row->ulOutput != HWCRTC_END; ++row) {
    if ((row->ulClock & HWCRTC_CLOCK_EXTERNAL) != 0) continue;
    if ((row->ulClock & HWCRTC_CLOCK_FIXED) != 0) {
      targets.push_back(static_cast<int32_t>((row->ulClock & 0xFFFFFF) * 1000));
      continue;
    }
    const UCHAR* list = row->pucTimings;
    const uint32_t overflow = TimingRegister(list, 0x07);
    const uint32_t width = (TimingRegister(list, 0x00) + 5) * 8;
    const uint32_t height = TimingRegister(list, 0x06) + ((overflow & 0x01) << 8) +
                            (((overflow >> 5) & 0x01) << 9) +
                            ((TimingRegister(list, 0x25) & 0x01) << 10);
    for (uint32_t rate : kRefreshRates) {
      targets.push_back(static_cast<int32_t>(width * height * rate));
    }
  }
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  return targets;
}

void PllSearch(benchmark::State& state, orva::board::Variant variant) {
  orva::platform::SessionOptions options;
  options.board.variant = variant;
  orva::platform::Session session(options);
  session.trace().setRecording(false);

  const auto search = session.driverSymbol<decltype(HWCRTC_GetRegistersFromDotClock)>(
      "HWCRTC_GetRegistersFromDotClock");
  const auto table = session.driverSymbol<const HWCRTC_GRAPHICSMODE>("HWCRTC_psGraphicsModeTable");
  if (search == nullptr || table == nullptr) {
    state.SkipWithError("driver symbols missing");
    return;
  }
  const std::vector<int32_t> targets = ModeTableTargets(table);

  for (auto _ : state) {
    for (int32_t target : targets) {
      UCHAR first = 0, second = 0;
      benchmark::DoNotOptimize(search(target, &first, &second));
      benchmark::DoNotOptimize(first);
      benchmark::DoNotOptimize(second);
    }
  }
  state.counters["targets"] = static_cast<double>(targets.size());
  state.counters["per_search"] = benchmark::Counter(
      static_cast<double>(targets.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(PllSearch, rondo_pinto, orva::board::Variant::Pinto)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PllSearch, tessel_bramble_r, orva::board::Variant::BrambleR)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
