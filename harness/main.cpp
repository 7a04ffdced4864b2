// orva_harness: runs a scenario file, as `orvasim run` does, on the 32-bit host
// build of the driver or on a 32-bit orva.sys, and writes what the board saw.
//
//   orva_harness [--chip NAME] [--memory SIZE] [--gbase HEX] [--output KEYWORD]
//                [--no-tv-encoder] [--driver IMAGE.sys] [--trace FILE] [--vram FILE]
//                [--quiet] SCENARIO
//
// Without --driver the host build of the driver runs. --trace writes the bus
// trace (JSON Lines), --vram the display memory as raw bytes. The harness has
// no PNG writer: a screenshot line is left out with a notice. A screenshot only
// reads the board, so leaving it out changes nothing in the trace.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "board.h"
#include "cli.h"
#include "client.h"
#include "parse.h"
#include "runner.h"
#include "scenario.h"
#include "session.h"

namespace {

constexpr const char* kUsage =
    "usage: orva_harness [--chip NAME] [--memory SIZE] [--gbase HEX] [--output KEYWORD]\n"
    "                    [--no-tv-encoder] [--driver IMAGE.sys] [--trace FILE] [--vram FILE]\n"
    "                    [--quiet] SCENARIO\n";

void writeFile(const std::string& path, const char* data, size_t size) {
  std::ofstream file(path, std::ios::binary);
  file.write(data, static_cast<std::streamsize>(size));
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  using orvasim::UsageError;
  std::string chip = "bramble", memory = "4M", gbase = "0", driver, traceFile, vramFile, scenario;
  std::optional<std::string> output;
  bool tvEncoder = true, quiet = false;
  orva::platform::SessionOptions options;
  std::vector<orvasim::Step> steps;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw UsageError(arg + " needs a value");
        return argv[++i];
      };
      if (arg == "--chip") {
        chip = value();
      } else if (arg == "--memory") {
        memory = value();
      } else if (arg == "--gbase") {
        gbase = value();
      } else if (arg == "--output") {
        output = value();
      } else if (arg == "--no-tv-encoder") {
        tvEncoder = false;
      } else if (arg == "--driver") {
        driver = value();
      } else if (arg == "--trace") {
        traceFile = value();
      } else if (arg == "--vram") {
        vramFile = value();
      } else if (arg == "--quiet") {
        quiet = true;
      } else if (arg == "--help") {
        std::cout << kUsage;
        return orvasim::kExitOk;
      } else if (arg.starts_with("-") || !scenario.empty()) {
        throw UsageError("unexpected argument '" + arg + "'");
      } else {
        scenario = arg;
      }
    }
    if (scenario.empty()) throw UsageError("no scenario file");
    const auto variant = orva::board::parseVariant(chip);
    if (!variant) throw UsageError("unknown chip '" + chip + "'");
    options.board.variant = *variant;
    options.board.memoryBytes = orvasim::parseMemorySize(memory);
    const auto base = orvasim::parseHex(gbase, 8);
    if (!base) throw UsageError("invalid --gbase '" + gbase + "'");
    options.board.gbase = static_cast<uint8_t>(*base);
    options.board.tvEncoderPresent = tvEncoder;
    if (output) options.outputType = orva::platform::registryString(*output);
    steps = orvasim::loadScenario(scenario);
  } catch (const std::exception& e) {
    std::cerr << "orva_harness: " << e.what() << "\n" << kUsage;
    return orvasim::kExitUsage;
  }

  // The video port library runs a .sys through its PE loader.
  options.driverPath = driver.empty() ? std::string(ORVA_HARNESS_HOST_MODULE) : driver;

  try {
    orva::platform::Session session(options);
    if (!session.open()) {  // as a display driver opens the device
      std::cerr << "orva_harness: the driver did not start (DriverEntry returned "
                << session.driverEntryStatus() << ")\n";
      return orvasim::kExitFailure;
    }
    std::erase_if(steps, [](const orvasim::Step& step) {
      if (step.verb != orvasim::Verb::Screenshot) return false;
      std::cerr << "orva_harness: line " << step.line << ": screenshot " << step.file.string()
                << " left out (no PNG writer in the 32-bit harness; --vram writes the memory)\n";
      return true;
    });
    orvasim::Client client(session);
    orvasim::Runner runner(session, client);
    int code = orvasim::kExitOk;
    try {
      runner.runAll(steps, quiet ? nullptr : &std::cout);
    } catch (const UsageError& e) {
      std::cerr << "orva_harness: " << e.what() << "\n";
      code = orvasim::kExitUsage;
    }
    if (!traceFile.empty()) {
      const std::string trace = session.trace().toJsonLines();
      writeFile(traceFile, trace.data(), trace.size());
    }
    if (!vramFile.empty()) {
      writeFile(vramFile, reinterpret_cast<const char*>(session.board().vram()),
                session.board().vramSize());
    }
    return code;
  } catch (const std::exception& e) {
    std::cerr << "orva_harness: " << e.what() << "\n";
    return orvasim::kExitFailure;
  }
}
