// orva_qemu_capture: runs a scenario on the in-process board, as `orvasim run`
// does, and writes what a replay into the QEMU device is checked against: the
// bus trace (the format `orvasim --trace` writes), the display memory as raw
// bytes, and the displayed picture as PNG. `compare` tells whether two PNG
// files hold the same pixels.
//
//   orva_qemu_capture [--chip C] [--memory SIZE] [--output KEYWORD]
//                     --trace FILE --vram FILE [--png FILE] SCENARIO
//   orva_qemu_capture compare EXPECTED.png ACTUAL.png
//   orva_qemu_capture accesses CHIP ACCESSES TRACE
// `accesses` makes the bus accesses of a file (one a line, as qtest writes them:
// "outb 0x22 0x1d", "inl 0x3dc", "readw 0x8400000") on a board of its own, with
// no driver, and writes its trace.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

#include "board.h"
#include "client.h"
#include "orva/requests.h"
#include "orva/session.h"
#include "parse.h"
#include "png_writer.h"
#include "report.h"
#include "runner.h"
#include "scenario.h"

namespace {

void writeFile(const std::string& path, const char* data, size_t size) {
  std::ofstream file(path, std::ios::binary);
  file.write(data, static_cast<std::streamsize>(size));
  if (!file) throw std::runtime_error("cannot write " + path);
}

// Exit 0 when both pictures have the same size and pixels; else 1, with the first
// difference on stderr.
int compare(const std::string& expectedPath, const std::string& actualPath) {
  orva::board::Image expected, actual;
  std::string error;
  if (!orva::board::readPng(expectedPath, expected, &error) ||
      !orva::board::readPng(actualPath, actual, &error)) {
    std::cerr << "cannot read a picture: " << error << "\n";
    return 1;
  }
  if (expected.width != actual.width || expected.height != actual.height) {
    std::cerr << "the picture is " << actual.width << "x" << actual.height << ", expected "
              << expected.width << "x" << expected.height << "\n";
    return 1;
  }
  for (size_t i = 0; i < expected.rgb.size(); i += 3) {
    if (std::equal(&expected.rgb[i], &expected.rgb[i + 3], &actual.rgb[i])) continue;
    char text[96];
    std::snprintf(text, sizeof text,
                  "first difference at (%zu,%zu): %02x%02x%02x, expected %02x%02x%02x",
                  i / 3 % expected.width, i / 3 / expected.width, actual.rgb[i], actual.rgb[i + 1],
                  actual.rgb[i + 2], expected.rgb[i], expected.rgb[i + 1], expected.rgb[i + 2]);
    std::cerr << text << "\n";
    return 1;
  }
  return 0;
}

int accesses(const std::string& chip, const std::string& file, const std::string& tracePath) {
  orva::board::BoardConfig config;
  const auto variant = orva::board::parseVariant(chip);
  if (!variant) {
    std::cerr << "unknown chip " << chip << "\n";
    return 1;
  }
  config.variant = *variant;
  orva::board::Board board(config);
  std::ifstream lines(file);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string command;
    uint64_t where = 0, value = 0;
    words >> command >> std::hex >> where >> value;
    if (command.size() < 3) continue;
    const char size = command.back();
    const unsigned width = size == 'b' ? 8 : size == 'w' ? 16 : 32;
    const std::string op = command.substr(0, command.size() - 1);
    if (op == "in") board.in(width, static_cast<uint32_t>(where));
    if (op == "out") board.out(width, static_cast<uint32_t>(where), static_cast<uint32_t>(value));
    if (op == "read") board.read(width, where);
    if (op == "write") board.write(width, where, static_cast<uint32_t>(value));
  }
  std::cerr << "TFT ports at " << std::hex << board.tftBasePort() << "\n";
  const std::string trace = board.trace().toJsonLines();
  writeFile(tracePath, trace.data(), trace.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "compare") return compare(argv[2], argv[3]);
  if (argc == 5 && std::string(argv[1]) == "accesses") return accesses(argv[2], argv[3], argv[4]);
  std::map<std::string, std::string> options;
  std::string scenario;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
      options[arg.substr(2)] = argv[++i];
    } else {
      scenario = arg;
    }
  }
  if (scenario.empty() || !options.count("trace") || !options.count("vram")) {
    std::cerr << "usage: orva_qemu_capture [--chip C] [--memory SIZE] [--output KEYWORD] "
                 "--trace FILE --vram FILE [--png FILE] SCENARIO\n";
    return 2;
  }
  try {
    orva::platform::SessionOptions session_options;
    if (options.count("chip")) {
      auto variant = orva::board::parseVariant(options["chip"]);
      if (!variant) throw std::runtime_error("unknown chip " + options["chip"]);
      session_options.board.variant = *variant;
    }
    if (options.count("memory"))
      session_options.board.memoryBytes = orvasim::parseMemorySize(options["memory"]);
    if (options.count("output"))
      session_options.outputType = orva::platform::registryString(options["output"]);
    const auto steps = orvasim::loadScenario(scenario);

    orva::platform::Session session(session_options);
    if (!session.open()) throw std::runtime_error("the driver did not start");
    orvasim::Client client(session);
    orvasim::Runner runner(session, client);
    runner.runAll(steps, nullptr);

    const std::string trace = session.trace().toJsonLines();
    writeFile(options["trace"], trace.data(), trace.size());
    const auto& board = session.board();
    writeFile(options["vram"], reinterpret_cast<const char*>(board.vram()),
              board.config().memoryBytes);
    if (options.count("png")) orvasim::writeScreenshot(board, options["png"]);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "orva_qemu_capture: " << e.what() << "\n";
    return 1;
  }
}
