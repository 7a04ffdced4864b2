// The board behind its C interface, as the QEMU device calls it: the host time of
// one port read, port write and register read, and of one frame's scanout.
//
//   orva_board_c_bench [--frame NAME,CHIP,TRACE,VRAM]... [Google Benchmark options]
//
// A frame is the picture a recorded run left: its bus trace (JSON Lines, as
// `orvasim --trace` writes it) is replayed into a new board and its display
// memory copied in, as the QEMU benchmark does with the device.
#include <benchmark/benchmark.h>
#include <orva_board.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Board = std::unique_ptr<orva_board, decltype(&orva_board_free)>;

Board makeBoard(const char* chip) {
  orva_board_config config;
  orva_board_config_init(&config);
  config.chip = chip;
  char error[256] = "";
  Board board(orva_board_new(&config, error, sizeof error), &orva_board_free);
  if (!board) throw std::runtime_error(error);
  return board;
}

void PortRead(benchmark::State& state) {
  Board board = makeBoard("bramble");
  for (auto _ : state) benchmark::DoNotOptimize(orva_board_in(board.get(), 8, 0x3CC));
}
BENCHMARK(PortRead);

void PortWrite(benchmark::State& state) {
  Board board = makeBoard("bramble");
  uint32_t i = 0;
  for (auto _ : state) orva_board_out(board.get(), 8, 0x3D4, i++ & 0xFF);
}
BENCHMARK(PortWrite);

void RegisterRead(benchmark::State& state) {
  Board board = makeBoard("bramble");
  const uint64_t cursor = orva_board_gbase(board.get()) + 0x400000 + 0x11C;
  for (auto _ : state) benchmark::DoNotOptimize(orva_board_read(board.get(), 32, cursor));
}
BENCHMARK(RegisterRead);

struct Frame {
  std::string name, chip, trace, vram;
};

void Scanout(benchmark::State& state, const Frame& frame) {
  Board board = makeBoard(frame.chip.c_str());
  std::ifstream lines(frame.trace);
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line);
    const std::string op = event["op"];
    const unsigned width = event.value("width", 0u);
    if (op == "in") orva_board_in(board.get(), width, event["port"]);
    if (op == "out") orva_board_out(board.get(), width, event["port"], event["value"]);
    if (op == "read") orva_board_read(board.get(), width, event["addr"]);
    if (op == "write") orva_board_write(board.get(), width, event["addr"], event["value"]);
  }
  std::ifstream file(frame.vram, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
  std::memcpy(orva_board_vram(board.get()), bytes.data(),
              std::min(bytes.size(), orva_board_vram_size(board.get())));
  unsigned width = 0, height = 0;
  if (orva_board_scanout(board.get(), &width, &height) == nullptr) {
    state.SkipWithError(orva_board_error(board.get()));
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(orva_board_scanout(board.get(), &width, &height));
  state.counters["width"] = width;
  state.counters["height"] = height;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest{argv[0]};
  std::vector<Frame> frames;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frame") == 0 && i + 1 < argc) {
      std::stringstream fields(argv[++i]);
      Frame frame;
      std::getline(fields, frame.name, ',');
      std::getline(fields, frame.chip, ',');
      std::getline(fields, frame.trace, ',');
      std::getline(fields, frame.vram, ',');
      frames.push_back(frame);
    } else {
      rest.push_back(argv[i]);
    }
  }
  for (const Frame& frame : frames)
    benchmark::RegisterBenchmark(("Scanout/" + frame.name).c_str(),
                                 [frame](benchmark::State& state) { Scanout(state, frame); });
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
